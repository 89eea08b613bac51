#include "platform/ui.h"

#include <unistd.h>

#include "launcher/message_texts.h"

namespace plat {

namespace {

struct TableEntry {
  unsigned id;
  const char* text;
};

constexpr TableEntry kStringTable[] = {
    {1, PLB_MSG_1}, {2, PLB_MSG_2}, {3, PLB_MSG_3},   {4, PLB_MSG_4},   {5, PLB_MSG_5},   {6, PLB_MSG_6},
    {7, PLB_MSG_7}, {8, PLB_MSG_8}, {10, PLB_MSG_10}, {12, PLB_MSG_12}, {13, PLB_MSG_13}, {14, PLB_MSG_14},
};

OutputHandle g_userError = kNoOutput;

void WriteAll(int fd, std::string_view s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

bool LoadStringResource(unsigned id, std::u16string& out) {
  for (const TableEntry& e : kStringTable) {
    if (e.id != id) continue;
    out.clear();
    for (const char* p = e.text; *p; ++p) out.push_back(static_cast<unsigned char>(*p));  // ASCII texts
    return true;
  }
  return false;
}

// The user sees the line where a box would show; a redirected standard error (the
// application's log) gets it as well.
void ShowMessageBox(void*, const std::string& text, const std::string& caption) {
  const std::string line = caption + ": " + text + "\n";
  WriteUserError(line);
  if (g_userError != kNoOutput) WriteAll(2, line);
}

void SetUserErrorOutput(OutputHandle h) { g_userError = h; }

void WriteUserError(std::string_view text) { WriteAll(g_userError == kNoOutput ? 2 : static_cast<int>(g_userError), text); }

}  // namespace plat
