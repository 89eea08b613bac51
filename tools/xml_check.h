// A well-formedness check for small XML documents such as application manifests: one root
// element, properly nested and closed tags, quoted attributes, well-formed comments,
// processing instructions, CDATA sections and character references. No DTD, no schema.
#pragma once
#include <string>
#include <string_view>

// True when the text is well-formed UTF-8 XML; `root` receives the root element's name.
// Otherwise false with the line and the reason in `error`.
bool CheckXml(std::string_view text, std::string& root, std::string& error);
