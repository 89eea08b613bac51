#include "launcher/messages.h"

#include <climits>
#include <utility>
#include <vector>

#include "payload/config.h"
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

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (++i == s.size()) break;  // a backslash at the very end is dropped
    char c = s[i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
  }
  return out;
}

const Overrides& MessageOverrides(const LauncherContext& ctx) {
  if (g_overridesBuilt) return g_overrides;
  g_overridesBuilt = true;
  for (const std::string& value : CfgMessages(ctx)) {
    size_t eq = value.find('=');
    if (eq == std::string::npos) continue;
    int number = LeadingNumber(value.substr(0, eq));
    if (number <= 0) continue;
    g_overrides.emplace_back(number, Unescape(value.substr(eq + 1)));
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
