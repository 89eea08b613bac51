#include "launcher/messages.h"

#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "payload/config.h"
#include "payload/expand.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace {

using Overrides = std::vector<std::pair<int, std::string>>;

bool g_overridesBuilt = false;
Overrides g_overrides;
void* (*g_owner)() = nullptr;
void (*g_closeAfter)(unsigned) = nullptr;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The C library's text-to-integer reading: blanks, a sign, digits; 0 without digits. Out
// of range values stop at the int limits.
int LeadingNumber(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > INT_MAX) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return v > INT_MAX ? INT_MIN : static_cast<int>(-v);
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// While a "message" line is expanded, every inserted value is set between two NUL bytes.
// Neither the configuration text nor an inserted value holds one, so the marks tell the
// configured text, whose escapes apply, from the inserted text, which is kept as it is (a
// path such as "Z:\tmp\app" or "C:\" is shown unchanged).
constexpr char kInsertMark = '\0';

std::string MarkInserted(const std::string& value) { return kInsertMark + value + kInsertMark; }

bool InsertedAt(std::string_view marked, size_t pos) {
  size_t marks = 0;
  for (size_t i = 0; i < pos && i < marked.size(); ++i) marks += marked[i] == kInsertMark;
  return marks % 2 == 1;
}

std::string Unmarked(std::string_view marked) {
  std::string out;
  for (char c : marked)
    if (c != kInsertMark) out += c;
  return out;
}

// Removes the marks and applies the escapes of the configured parts: a backslash followed by
// "n", "r" or "t" gives a line feed, a carriage return or a tab, followed by any other
// character that character; a backslash at the very end is dropped, one right before an
// inserted value stays a backslash. `inserted` tells whether the text begins inside an
// inserted value.
std::string Unescape(std::string_view marked, bool inserted) {
  std::string out;
  for (size_t i = 0; i < marked.size(); ++i) {
    char c = marked[i];
    if (c == kInsertMark) {
      inserted = !inserted;
    } else if (inserted || c != '\\') {
      out += c;
    } else if (i + 1 == marked.size()) {
      break;
    } else if (marked[i + 1] == kInsertMark) {
      out += c;
    } else {
      c = marked[++i];
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
  }
  return out;
}

const Overrides& MessageOverrides(const LauncherContext& ctx) {
  if (g_overridesBuilt) return g_overrides;
  g_overridesBuilt = true;
  for (const std::string& line : CfgMessages(ctx)) {
    std::string value = ExpandInserting(ctx, line, MarkInserted);
    size_t eq = value.find('=');
    if (eq == std::string::npos) continue;
    int number = LeadingNumber(Unmarked(std::string_view(value).substr(0, eq)));
    if (number <= 0) continue;
    g_overrides.emplace_back(number, Unescape(std::string_view(value).substr(eq + 1), InsertedAt(value, eq + 1)));
  }
  return g_overrides;
}

std::string TableMessage(int number) {
  std::u16string text;
  if (number <= 0 || !plat::LoadStringResource(static_cast<unsigned>(number), text)) return {};
  return plat::Utf16ToAnsi(text);
}

}  // namespace

std::string Message(const LauncherContext& ctx, int number) {
  for (const auto& [n, text] : MessageOverrides(ctx))
    if (n == number) return text;
  return TableMessage(number);
}

std::string FormatVersionMessage(const std::string& format, const std::string& version, const std::string& minJre,
                                 const std::string& maxJre) {
  const std::string* fill[] = {&version, &minJre, &maxJre};
  size_t next = 0;
  std::string out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
    } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next < 3) out += *fill[next];  // the fourth and fifth are empty
      ++next;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

std::string ResultMessage(const LauncherContext& ctx, int code, const std::string& version, const std::string& minJre,
                          const std::string& maxJre) {
  std::string text = Message(ctx, code);
  // Message 12 names both bounds; with the upper one alone it would read "between  and 21".
  if (code == kResultTooNew && minJre.empty() && text == TableMessage(kResultTooNew))
    return FormatVersionMessage(Message(ctx, kMessageTooNewNoMinimum), version, maxJre, {});
  if (code == kResultTooOld || code == kResultTooNew) return FormatVersionMessage(text, version, minJre, maxJre);
  return text;
}

void ShowError(const std::string& text) {
  std::string caption = g_launcher ? Message(*g_launcher, kMessageCaption) : TableMessage(kMessageCaption);
  void* owner = g_owner ? g_owner() : nullptr;
  plat::ShowMessageBox(owner, text, caption);
  if (g_closeAfter) g_closeAfter(100);
}

void SetErrorBoxOwner(void* (*owner)(), void (*closeAfter)(unsigned ms)) {
  g_owner = owner;
  g_closeAfter = closeAfter;
}

void ResetMessageOverridesForTests() {
  g_overridesBuilt = false;
  g_overrides.clear();
}
