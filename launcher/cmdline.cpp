#include "launcher/cmdline.h"

#include "payload/config.h"
#include "platform/fs.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads one word starting at `i` (not a blank) and leaves `i` after it.
std::string ReadWord(std::string_view line, size_t& i, int32_t* mark) {
  std::string word;
  bool quoted = false;
  while (i < line.size() && (quoted || !IsBlank(line[i]))) {
    char c = line[i];
    if (c == '"') {
      quoted = !quoted;
      ++i;
    } else if (c == '\\') {
      size_t n = 0;
      while (i < line.size() && line[i] == '\\') ++n, ++i;
      bool beforeQuote = i < line.size() && line[i] == '"';
      word.append(beforeQuote ? n / 2 : n, '\\');
      if (beforeQuote && n % 2 == 1) {
        word += '"';
        ++i;
      }
    } else {
      if (mark && (c == '*' || c == '?') && *mark != -1) *mark = quoted ? -1 : 1;
      word += c;
      ++i;
    }
  }
  return word;
}

}  // namespace

std::vector<std::string> Split(std::string_view line, std::vector<int32_t>* marks) {
  std::vector<std::string> words;
  size_t i = 0;
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    int32_t mark = 0;
    words.push_back(ReadWord(line, i, marks ? &mark : nullptr));
    if (marks) marks->push_back(mark);
  }
  return words;
}

std::string QuoteArgument(std::string_view word) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
    } else {
      // Backslashes before a quote are doubled, and the quote itself escaped.
      if (c == '"') out.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    out += c;
  }
  out.append(backslashes, '\\');  // doubled before the closing quote
  out += '"';
  return out;
}

void ExpandWildcard(const std::string& pattern, std::vector<std::string>& out) {
  size_t wild = pattern.find_first_of("*?");
  if (wild == std::string::npos) {
    if (plat::PathExists(pattern)) out.push_back(pattern);
    return;
  }
  size_t lastSep = pattern.find_last_of("\\/", wild);
  std::string prefix = lastSep == std::string::npos ? std::string() : pattern.substr(0, lastSep + 1);
  size_t end = pattern.find_first_of("\\/", wild);
  if (end == std::string::npos) end = pattern.size();
  std::vector<plat::DirEntry> entries;
  if (!plat::ListDirectory(prefix, pattern.substr(prefix.size(), end - prefix.size()), entries)) return;
  for (const plat::DirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (end == pattern.size()) out.push_back(prefix + e.name);
    else if (e.directory) ExpandWildcard(prefix + e.name + pattern.substr(end), out);
  }
}

WildcardMode WildcardModeOf(std::string_view value) {
  if (ValueIs(value, "true") || ValueIs(value, "auto")) return WildcardMode::Unquoted;
  if (ValueIs(value, "all")) return WildcardMode::All;
  return WildcardMode::None;
}

std::vector<std::string> BuildArguments(std::string_view commandLine, WildcardMode mode) {
  std::vector<int32_t> marks;
  std::vector<std::string> words = Split(commandLine, &marks);
  std::vector<std::string> args;
  for (size_t i = 0; i < words.size(); ++i) {
    bool expand = mode != WildcardMode::None && (marks[i] == 1 || (marks[i] == -1 && mode == WildcardMode::All));
    size_t before = args.size();
    if (expand) ExpandWildcard(words[i], args);
    if (args.size() == before) args.push_back(std::move(words[i]));
  }
  return args;
}
