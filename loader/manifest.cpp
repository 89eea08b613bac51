#include "loader/manifest.h"

#include <algorithm>

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

ManifestAttributes ManifestMainAttributes(std::string_view text) {
  ManifestAttributes attrs;
  std::string* value = nullptr;  // the one a continuation line extends
  for (size_t pos = 0; pos < text.size();) {
    size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    std::string_view line = text.substr(pos, end - pos);
    pos = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    if (line.empty()) break;  // the main section ends at the first empty line
    if (line[0] == ' ') {
      if (value) value->append(line.substr(1));
      continue;
    }
    size_t colon = line.find(':');
    value = nullptr;
    if (colon == std::string_view::npos || colon == 0) continue;
    std::string_view name = line.substr(0, colon), rest = line.substr(colon + 1);
    if (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
    auto same = std::find_if(attrs.begin(), attrs.end(),
                             [&](const auto& a) { return EqualsIgnoringAsciiCase(a.first, name); });
    if (same == attrs.end()) same = attrs.insert(attrs.end(), {std::string(name), {}});
    same->second = std::string(rest);
    value = &same->second;
  }
  return attrs;
}

std::string ManifestAttribute(const ManifestAttributes& attributes, std::string_view name) {
  for (const auto& [key, value] : attributes)
    if (EqualsIgnoringAsciiCase(key, name)) return value;
  return {};
}
