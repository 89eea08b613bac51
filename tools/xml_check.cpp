#include "tools/xml_check.h"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kMaxDepth = 512;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameChar(char c, bool first) {
  unsigned char u = static_cast<unsigned char>(c);
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || c == '_' || c == ':' || u >= 0x80) return true;
  return !first && ((u >= '0' && u <= '9') || c == '-' || c == '.');
}

struct XmlScanner {
  std::string_view s;
  size_t pos = 0;
  std::vector<std::string_view> open;
  std::string root;
  std::string reason;

  bool Fail(const std::string& why) {
    if (reason.empty()) reason = why;
    return false;
  }
  bool At(std::string_view token) const { return s.substr(pos, token.size()) == token; }
  void SkipSpace() {
    while (pos < s.size() && IsSpace(s[pos])) ++pos;
  }
  bool SkipPast(std::string_view end, const char* what) {
    size_t found = s.find(end, pos);
    if (found == std::string_view::npos) return Fail(std::string("unterminated ") + what);
    pos = found + end.size();
    return true;
  }

  bool Name(std::string_view& name) {
    size_t start = pos;
    if (pos >= s.size() || !IsNameChar(s[pos], true)) return Fail("a name is expected");
    while (pos < s.size() && IsNameChar(s[pos], false)) ++pos;
    name = s.substr(start, pos - start);
    return true;
  }

  // A reference after '&': &name; or &#digits; or &#xhex;
  bool Reference() {
    ++pos;
    size_t end = s.find(';', pos);
    if (end == std::string_view::npos || end == pos || end - pos > 32) return Fail("a bare '&' (write &amp;)");
    std::string_view ref = s.substr(pos, end - pos);
    bool ok;
    if (ref[0] == '#') {
      bool hex = ref.size() > 1 && ref[1] == 'x';
      std::string_view digits = ref.substr(hex ? 2 : 1);
      ok = !digits.empty() && std::all_of(digits.begin(), digits.end(), [hex](char c) {
        return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
      });
    } else {
      ok = std::all_of(ref.begin(), ref.end(), [](char c) { return IsNameChar(c, false); });
    }
    pos = end + 1;
    return ok || Fail("a malformed '&' reference");
  }

  bool AttributeValue() {
    if (pos >= s.size() || (s[pos] != '"' && s[pos] != '\'')) return Fail("an attribute value must be quoted");
    char quote = s[pos++];
    while (pos < s.size() && s[pos] != quote) {
      if (s[pos] == '<') return Fail("'<' inside an attribute value");
      if (s[pos] == '&') {
        if (!Reference()) return false;
      } else {
        ++pos;
      }
    }
    if (pos >= s.size()) return Fail("unterminated attribute value");
    ++pos;
    return true;
  }

  bool StartTag() {
    ++pos;
    std::string_view name;
    if (!Name(name)) return false;
    for (;;) {
      bool spaced = pos < s.size() && IsSpace(s[pos]);
      SkipSpace();
      if (At("/>") || At(">")) break;
      std::string_view attribute;
      if (!spaced) return Fail("a space is expected before an attribute");
      if (!Name(attribute)) return false;
      SkipSpace();
      if (!At("=")) return Fail("'=' is expected after attribute " + std::string(attribute));
      ++pos;
      SkipSpace();
      if (!AttributeValue()) return false;
    }
    if (root.empty()) root = std::string(name);
    if (At("/>")) {
      pos += 2;
      return true;
    }
    ++pos;
    if (open.size() >= kMaxDepth) return Fail("elements nested too deeply");
    open.push_back(name);
    return true;
  }

  bool EndTag() {
    pos += 2;
    std::string_view name;
    if (!Name(name)) return false;
    SkipSpace();
    if (!At(">")) return Fail("'>' is expected in end tag");
    ++pos;
    if (open.empty()) return Fail("end tag </" + std::string(name) + "> without a start tag");
    if (open.back() != name)
      return Fail("end tag </" + std::string(name) + "> does not close <" + std::string(open.back()) + ">");
    open.pop_back();
    return true;
  }

  // Comments and processing instructions may stand anywhere outside tags.
  bool Misc(bool& matched) {
    matched = true;
    if (At("<!--")) {
      size_t start = pos + 4;
      pos = start;
      if (!SkipPast("-->", "comment")) return false;
      std::string_view body = s.substr(start, pos - 3 - start);
      bool ok = body.find("--") == std::string_view::npos && (body.empty() || body.back() != '-');
      return ok || Fail("'--' inside a comment");
    }
    if (At("<?")) {
      pos += 2;
      std::string_view target;
      return Name(target) && SkipPast("?>", "processing instruction");
    }
    matched = false;
    return true;
  }

  bool Content() {
    while (!open.empty()) {
      if (pos >= s.size()) return Fail("end of text inside <" + std::string(open.back()) + ">");
      bool matched = false;
      if (!Misc(matched)) return false;
      if (matched) continue;
      if (At("<![CDATA[")) {
        if (!SkipPast("]]>", "CDATA section")) return false;
      } else if (At("</")) {
        if (!EndTag()) return false;
      } else if (At("<!")) {
        return Fail("a declaration inside an element");
      } else if (At("<")) {
        if (!StartTag()) return false;
      } else if (s[pos] == '&') {
        if (!Reference()) return false;
      } else {
        ++pos;
      }
    }
    return true;
  }

  bool Document() {
    if (At("\xEF\xBB\xBF")) pos += 3;
    if (s.find('\0') != std::string_view::npos) return Fail("not UTF-8 text (it holds NUL bytes)");
    bool seenRoot = false;
    for (;;) {
      SkipSpace();
      if (pos >= s.size()) break;
      bool matched = false;
      if (!Misc(matched)) return false;
      if (matched) continue;
      if (At("<!")) return Fail("document type declarations are not supported");
      if (!At("<") || At("</")) return Fail(seenRoot ? "text after the root element" : "no root element");
      if (seenRoot) return Fail("a second root element");
      seenRoot = true;
      if (!StartTag() || !Content()) return false;
    }
    return seenRoot || Fail("no root element");
  }
};

}  // namespace

bool CheckXml(std::string_view text, std::string& root, std::string& error) {
  XmlScanner scanner{text, 0, {}, {}, {}};
  if (scanner.Document()) {
    root = scanner.root;
    return true;
  }
  size_t at = std::min(scanner.pos, text.size());
  size_t line = 1 + size_t(std::count(text.begin(), text.begin() + long(at), '\n'));
  error = "line " + std::to_string(line) + ": " + scanner.reason;
  return false;
}
