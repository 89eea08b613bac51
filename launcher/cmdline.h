// The launcher's command-line splitter and wildcard expansion.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Cuts a command line into words at spaces and tabs outside double quotes. Quotes are
// dropped; 2n backslashes before a quote give n backslashes and the quote toggles, 2n+1
// give n backslashes and a literal quote; other backslashes are literal. With `marks`,
// one mark per word: 0 no "*" or "?", 1 all of them outside quotes, -1 one inside quotes.
std::vector<std::string> Split(std::string_view line, std::vector<int32_t>* marks = nullptr);

// One word written so that Split gives it back unchanged, inside double quotes.
std::string QuoteArgument(std::string_view word);

// Appends the paths that match `pattern` ("*" and "?" in any number of path segments), in
// the order the file system lists them. Without wildcards: the pattern itself when it
// exists. Relative patterns match against the current directory and stay relative.
void ExpandWildcard(const std::string& pattern, std::vector<std::string>& out);

// The "wildcard" setting: none, unquoted wildcards ("true", "auto"), all wildcards ("all").
enum class WildcardMode { None, Unquoted, All };
WildcardMode WildcardModeOf(std::string_view value);

// Splits a raw command line with marks and expands the words the mode selects; a word
// that matches nothing stays as it is (without its quotes). The program name is the first
// element, split and expanded like the others.
std::vector<std::string> BuildArguments(std::string_view commandLine, WildcardMode mode);
