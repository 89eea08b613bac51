#include "tools/config_text.h"

#include <algorithm>

#include "payload/encoding.h"
#include "runtime/main_class.h"

namespace {

constexpr std::string_view kKnownKeys[] = {
    "mainclass", "argv", "minjre", "maxjre", "option", "property", "export", "assystemclassloader",
    "classpath", "libs", "java_classpath", "java_libs", "jre_order", "jre", "jvmdll", "vm", "splash",
    "splashtitle", "splashcloseonwindow", "singleinstance", "appid", "wildcard", "stdout", "stderr",
    "forcecwd", "message", "usejarprotocol", "fakeclassbytes", "compatible", "disableexternal",
    "classdatacache"};
constexpr std::string_view kMultiValuedKeys[] = {"argv", "option", "property", "export", "classpath",
                                                 "libs", "java_classpath", "java_libs", "message"};

bool IsKeyChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool Contains(const std::string_view* begin, const std::string_view* end, std::string_view key) {
  return std::find(begin, end, key) != end;
}

bool IsMultiValued(std::string_view key) {
  return Contains(std::begin(kMultiValuedKeys), std::end(kMultiValuedKeys), key);
}

// The value of a line as the launcher reads it: after the key, spaces, one "=", spaces.
std::string_view LineValue(std::string_view line, size_t keyLength) {
  size_t i = line.find_first_not_of(' ');
  if (i == std::string_view::npos) return {};
  i += keyLength;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i < line.size() && line[i] == '=') ++i;
  while (i < line.size() && line[i] == ' ') ++i;
  return line.substr(std::min(i, line.size()));
}

// Cuts text (no NUL inside) at CR, LF, CR LF and LF CR.
void SplitLines(std::string_view text, const std::string& fileName, std::vector<ConfigLine>& lines) {
  size_t i = 0, number = 1;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back({std::string(text.substr(i, end - i)), fileName + ":" + std::to_string(number++)});
    i = end;
    if (i < text.size()) {
      char first = text[i++];
      if (i < text.size() && (text[i] == '\r' || text[i] == '\n') && text[i] != first) ++i;
    }
  }
}

// UTF-16 with its byte order mark to UTF-8, unit by unit as the launcher converts it.
bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string& out) {
  if (bytes.size() % 2 != 0) return false;
  std::u16string units;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
  }
  AppendUnitsAsUtf8(out, units);
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The switches: the keywords that change something (compared without regard to case, as
// whole values); every other value leaves the default in force.
struct Switch {
  std::string_view key;
  std::vector<std::string_view> keywords;
};

const std::vector<Switch>& Switches() {
  static const std::vector<Switch> switches = {
      {"singleinstance", {"true", "custom"}}, {"splashcloseonwindow", {"true"}},
      {"assystemclassloader", {"false"}},     {"usejarprotocol", {"false"}},
      {"fakeclassbytes", {"false"}},          {"compatible", {"true"}},
      {"disableexternal", {"true"}},          {"wildcard", {"true", "auto", "all"}},
      {"classdatacache", {"auto", "off"}},
  };
  return switches;
}

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

// Why the launcher would take a value other than the line seems to say; "" when it would not.
std::string ValueProblem(const std::string& key, std::string_view value) {
  if (value.empty())
    return Quoted(key) + (IsMultiValued(key) ? " has an empty value" : " has no value, so the launcher reads it as unset");
  if (value[0] == ':')
    return "the value of " + Quoted(key) + " starts with ':', which the launcher keeps; write '" + key +
           " VALUE' or '" + key + "=VALUE'";
  if (value[0] == '\t') return "a tab after " + Quoted(key) + " belongs to the value; separate them with a space";
  if (value.back() == ' ' || value.back() == '\t')
    return "the value of " + Quoted(key) + " ends with a blank, which the launcher keeps as part of it";
  for (const Switch& sw : Switches()) {
    if (sw.key != key) continue;
    for (auto k : sw.keywords)
      if (EqualsNoCase(value, k)) return {};
    std::string accepted;
    for (auto k : sw.keywords) accepted += (accepted.empty() ? "" : " or ") + Quoted(k);
    return key + " " + Quoted(value) + " is not " + accepted + ", so the launcher keeps the default";
  }
  if ((key == "minjre" || key == "maxjre") && ReadVersionNumbers(value).count == 0)
    return key + " " + Quoted(value) + " holds no version number, so the launcher sets no bound";
  if (key == "jre_order") {
    if (value.find_first_not_of("cbsieCBSIE") == std::string_view::npos) return {};
    if (value.find_first_of("cbsieCBSIE") == std::string_view::npos)
      return key + " " + Quoted(value) + " names no runtime source (c, b, s, i, e), so 'cbsie' applies";
    return key + " " + Quoted(value) + ": letters other than c, b, s, i, e are skipped";
  }
  if (key == "option" && value[0] != '-')
    return "the VM option " + Quoted(value) + " does not start with '-'; the Java runtime refuses it";
  if (key == "property" && value.substr(0, 2) == "-D")
    return "a property line is NAME=VALUE without -D; this one sets the property " +
           Quoted(value.substr(0, value.find('=')));
  if (key == "export" && value.find('=') == std::string_view::npos)
    return "an export line is NAME=VALUE; the launcher ignores " + Quoted(value);
  if (key == "message") {
    size_t eq = value.find('=');
    size_t digits = value.find_first_not_of(' ');
    bool number = eq != std::string_view::npos && digits < eq && value[digits] >= '1' && value[digits] <= '9';
    if (!number) return "a message line is N=TEXT with N a positive number; the launcher ignores " + Quoted(value);
  }
  return {};
}

std::string LineNumberOfOffset(std::string_view text, size_t offset) {
  size_t n = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++n;
  return std::to_string(n);
}

}  // namespace

std::string LineKey(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  std::string key;
  for (; i < line.size() && IsKeyChar(line[i]); ++i)
    key.push_back(line[i] >= 'A' && line[i] <= 'Z' ? static_cast<char>(line[i] - 'A' + 'a') : line[i]);
  return key;
}

bool IsKnownKey(std::string_view key) { return Contains(std::begin(kKnownKeys), std::end(kKnownKeys), key); }

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

bool ConfigFileLines(std::string_view bytes, const std::string& fileName, std::vector<ConfigLine>& lines,
                     std::string& err) {
  std::string text;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = bytes.substr(3);
  } else if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    if (!Utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE', text)) {
      err = fileName + ": UTF-16 text with an odd number of bytes";
      return false;
    }
  } else {
    text = bytes;
  }
  size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    err = fileName + ":" + LineNumberOfOffset(text, nul) + ": NUL character (it would end the configuration)";
    return false;
  }
  std::vector<ConfigLine> found;
  SplitLines(text, fileName, found);
  for (const auto& line : found) {
    if (!IsValidUtf8(line.text)) {
      err = line.origin + ": not valid UTF-8 (save the file as UTF-8, or as UTF-16 with a byte order mark)";
      return false;
    }
  }
  lines.insert(lines.end(), found.begin(), found.end());
  return true;
}

std::string NarrowToUtf8(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : AnsiToUtf8(text);
}

bool SetOptionLine(std::string_view value, ConfigLine& line, std::string& err) {
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    err = "--set value holds a line break or NUL: one --set per line";
    return false;
  }
  line.text = NarrowToUtf8(value);
  line.origin = "--set '" + std::string(value) + "'";
  if (LineKey(line.text).empty()) {
    err = "--set '" + std::string(value) + "': expected KEY VALUE";
    return false;
  }
  return true;
}

std::string MainClassOf(const std::vector<ConfigLine>& lines) {
  for (const auto& l : lines)
    if (LineKey(l.text) == "mainclass") return std::string(LineValue(l.text, 9));
  return {};
}

std::vector<std::string> ConfigWarnings(const std::vector<ConfigLine>& lines) {
  std::vector<std::string> warnings;
  std::vector<std::pair<std::string, std::string>> seen;  // single-valued key, where it was set
  for (const auto& l : lines) {
    std::string key = LineKey(l.text);
    if (key.empty()) {
      size_t start = l.text.find_first_not_of(" \t");
      if (start != std::string::npos && l.text[start - (start > 0)] == '\t' && !LineKey(l.text.substr(start)).empty())
        warnings.push_back(l.origin + ": the line starts with a tab, so the launcher ignores it (indent with spaces)");
      continue;
    }
    if (!IsKnownKey(key)) {
      warnings.push_back(l.origin + ": unknown key '" + key + "' (the launcher ignores this line)");
      continue;
    }
    if (std::string problem = ValueProblem(key, LineValue(l.text, key.size())); !problem.empty())
      warnings.push_back(l.origin + ": " + problem);
    if (IsMultiValued(key)) continue;
    auto it = std::find_if(seen.begin(), seen.end(), [&](const auto& s) { return s.first == key; });
    if (it != seen.end())
      warnings.push_back(l.origin + ": '" + key + "' is already set by " + it->second +
                         "; the first line wins, so this one has no effect");
    else
      seen.emplace_back(key, l.origin);
  }
  return warnings;
}

std::string TextBlock(const std::vector<ConfigLine>& lines) {
  std::string block = "\xEF\xBB\xBF";
  for (const auto& l : lines) block += l.text + "\r\n";
  block.push_back('\0');
  return block;
}
