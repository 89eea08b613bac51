// The configuration text a wrapped executable carries: "key value" lines gathered from
// --main, --config files and --set options, written as the launcher's text block.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct ConfigLine {
  std::string text;    // UTF-8, without line end
  std::string origin;  // where it came from, for messages: "--main", "app.cfg:3", "--set"
};

// The key a line sets as the launcher reads it (lower case), or "" when the line sets none
// (an empty line, or one that starts with something other than a letter, digit or "_").
std::string LineKey(std::string_view line);

// True for the keys the launcher knows.
bool IsKnownKey(std::string_view key);

// Splits the bytes of a configuration file into lines. UTF-8 (with or without its byte
// order mark) and UTF-16 with a byte order mark are accepted; line ends are CR, LF, CR LF or
// LF CR. False, with a message, when the text is not valid in its encoding or holds NUL.
bool ConfigFileLines(std::string_view bytes, const std::string& fileName, std::vector<ConfigLine>& lines,
                     std::string& err);

// One --set value ("KEY VALUE"), converted to UTF-8 from the command line's code page when
// it is not UTF-8 already. False when it holds a line end or names no key.
bool SetOptionLine(std::string_view value, ConfigLine& line, std::string& err);

// The first "mainclass" value among the lines, "" when none.
std::string MainClassOf(const std::vector<ConfigLine>& lines);

// Warnings, each naming its line, for lines that the launcher would ignore or read otherwise
// than they seem to say: unknown keys, lines that start with a tab, values it does not
// understand (a switch other than its keywords, a version without a number, ...), and
// single-valued keys already set by an earlier line (the first line wins).
std::vector<std::string> ConfigWarnings(const std::vector<ConfigLine>& lines);

// The text block: UTF-8 byte order mark, every line ended by CR LF, then one NUL.
std::string TextBlock(const std::vector<ConfigLine>& lines);

// Text from the command line as UTF-8: kept when it is UTF-8 already, else converted from
// the system's code page.
std::string NarrowToUtf8(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values
// beyond U+10FFFF).
bool IsValidUtf8(std::string_view s);
