#include "loader/name_forms.h"

#include <string>
#include <vector>

#include "runtime/jni_util.h"

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Removes the "/../" at `m` together with the step before it, back to the last '/', ':' or
// '!' in front of it (or the start of the name).
void RemoveParentStep(std::string& name, size_t m) {
  size_t c = m == 0 ? std::string::npos : name.find_last_of("/:!", m - 1);
  size_t from = c == std::string::npos ? 0 : c + 1;
  name.erase(from, m + 4 - from);
}

}  // namespace

NameForms MakeNameForms(std::u16string_view name) {
  NameForms forms;
  if (name.find(u'\0') != std::u16string_view::npos) return forms;
  forms.hasA = true;
  for (char16_t u : name) {
    if (u >= 256) {
      forms.hasA = false;
      break;
    }
    forms.a += static_cast<char>(u);
  }
  if (!forms.hasA) forms.a.clear();
  for (size_t i = 0; i < name.size(); ++i) {
    char32_t cp = name[i];
    if (IsHigh(name[i]) && i + 1 < name.size() && IsLow(name[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (name[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(forms.b, cp);
  }
  forms.hasB = !forms.hasA || forms.b != forms.a;
  if (!forms.hasB) forms.b.clear();
  return forms;
}

std::string NormaliseResourceName(std::string name) {
  for (size_t at = name.find("/./"); at != std::string::npos; at = name.find("/./")) name.erase(at + 1, 2);
  for (size_t at = name.find("/../"); at != std::string::npos; at = name.find("/../")) RemoveParentStep(name, at);
  return name;
}

std::u16string DecodeNameForm(std::string_view bytes, bool formB) {
  if (formB) return Utf8ToUtf16(bytes);
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
  return out;
}

std::u16string DecodeStoredName(std::string_view bytes) {
  std::u16string utf16 = Utf8ToUtf16(bytes);
  std::string back;
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (IsHigh(utf16[i]) && i + 1 < utf16.size() && IsLow(utf16[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(back, cp);
  }
  return back == bytes ? utf16 : DecodeNameForm(bytes, false);
}

std::u16string EncodeUrlPath(std::u16string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  auto allowed = [](char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::u16string_view(u"-._~$&'()*+,;=:@/").find(c) != std::u16string_view::npos;
  };
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (allowed(u)) {
      out.push_back(u);
      continue;
    }
    char32_t cp = u;
    if (IsHigh(u) && i + 1 < text.size() && IsLow(text[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsHigh(u) || IsLow(u)) {
      cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    std::string bytes;
    AppendUtf8(bytes, cp);
    for (unsigned char b : bytes) {
      out.push_back(u'%');
      out.push_back(static_cast<char16_t>(kHex[b >> 4]));
      out.push_back(static_cast<char16_t>(kHex[b & 15]));
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
      out += '%';
      ++i;
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

bool HasPlbScheme(std::string_view text) { return text.size() >= 4 && EqualsIgnoringCase(text.substr(0, 4), "plb:"); }

bool EndsWithClass(std::string_view text) {
  return text.size() >= 6 && EqualsIgnoringCase(text.substr(text.size() - 6), ".class");
}

std::string FakeClassBytes(std::string_view url) {
  size_t cut = url.find_last_of("!:");
  std::string_view rest = cut == std::string_view::npos ? url : url.substr(cut + 1);
  if (!rest.empty() && (rest[0] == '/' || rest[0] == '\\')) rest.remove_prefix(1);
  std::string name(rest.substr(0, rest.size() >= 6 ? rest.size() - 6 : 0));
  for (char& c : name)
    if (c == '\\') c = '/';
  if (name.size() > 0xFFFF) return {};
  static constexpr unsigned char kHead[] = {
      0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x00, 0x00, 0x2E, 0x00, 0x0A,                  // magic, 46.0, 10 constants
      0x0A, 0x00, 0x03, 0x00, 0x07,                                                // #1 Object.<init>
      0x07, 0x00, 0x08, 0x07, 0x00, 0x09,                                          // #2 this, #3 super
      0x01, 0x00, 0x06, '<', 'i', 'n', 'i', 't', '>',                              // #4
      0x01, 0x00, 0x03, '(', ')', 'V',                                             // #5
      0x01, 0x00, 0x04, 'C', 'o', 'd', 'e',                                        // #6
      0x0C, 0x00, 0x04, 0x00, 0x05,                                                // #7
      0x01};                                                                       // #8 tag
  static constexpr unsigned char kTail[] = {
      0x01, 0x00, 0x10, 'j', 'a', 'v', 'a', '/', 'l', 'a', 'n', 'g', '/', 'O', 'b', 'j', 'e', 'c', 't',  // #9
      0x00, 0x21, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,  // public, this, super, 1 method
      0x00, 0x01, 0x00, 0x04, 0x00, 0x05, 0x00, 0x01,                          // public <init>()V, 1 attribute
      0x00, 0x06, 0x00, 0x00, 0x00, 0x11, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05,  // Code
      0x2A, 0xB7, 0x00, 0x01, 0xB1, 0x00, 0x00, 0x00, 0x00,                    // aload_0, invokespecial, return
      0x00, 0x00};                                                             // no attributes
  static_assert(sizeof kHead == 49 && sizeof kTail == 64);
  std::string out(reinterpret_cast<const char*>(kHead), sizeof kHead);
  out += static_cast<char>(name.size() >> 8);
  out += static_cast<char>(name.size() & 0xFF);
  out += name;
  out.append(reinterpret_cast<const char*>(kTail), sizeof kTail);
  return out;
}

std::u16string StoredPathToUrl(const std::vector<std::string_view>& steps) {
  std::u16string out;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) out += u'!';
    out += EncodeUrlPath(DecodeStoredName(steps[i]));
  }
  return out;
}

std::vector<std::vector<std::string>> UrlPathSteps(std::u16string_view path) {
  std::string text;
  for (size_t i = 0; i < path.size(); ++i) {
    char32_t cp = path[i];
    if (IsHigh(path[i]) && i + 1 < path.size() && IsLow(path[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (path[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(text, cp);
  }
  text = NormaliseResourceName(std::move(text));
  std::vector<std::vector<std::string>> steps;
  for (size_t from = 0;;) {
    size_t bang = text.find('!', from);
    std::string bytes = PercentDecode(std::string_view(text).substr(from, bang == std::string::npos ? bang : bang - from));
    std::vector<std::string> spellings{bytes};
    std::u16string units = DecodeStoredName(bytes);
    std::string narrow;
    bool fits = true;
    for (char16_t u : units) {
      if (u >= 256) fits = false;
      narrow += static_cast<char>(u);
    }
    if (fits && narrow != bytes) spellings.push_back(std::move(narrow));
    steps.push_back(std::move(spellings));
    if (bang == std::string::npos) break;
    from = bang + 1;
  }
  return steps;
}
