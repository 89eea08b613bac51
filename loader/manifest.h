// The main section of a jar manifest, as the launcher and the build tool read it.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using ManifestAttributes = std::vector<std::pair<std::string, std::string>>;

// The main section's attributes: lines "Name: value" up to the first empty line (CR LF, LF
// or CR), a line that starts with one space continuing the value before it. A repeated name
// (without regard to case) keeps its first place and takes the last value, as the JDK keeps
// it. A line without a name and a colon is passed over.
ManifestAttributes ManifestMainAttributes(std::string_view text);

// The value of a main attribute, the name without regard to ASCII case; "" when absent.
std::string ManifestAttribute(const ManifestAttributes& attributes, std::string_view name);

// Equal but for the case of ASCII letters.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
