// Feeds arbitrary text to the command-line splitter, variable expansion, the message
// overrides and the version-message formatter. Checks that a quoted word splits back to
// itself. Input: one selector byte, then the text.
#include <cstdint>
#include <string>

#include "launcher/cmdline.h"
#include "launcher/messages.h"
#include "payload/expand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  LauncherContext ctx;
  ctx.exePath = "/app/tool";
  ctx.exeDir = "/app/";
  ctx.workDir = "/work/";

  std::vector<int32_t> marks;
  std::vector<std::string> words = Split(text, &marks);
  if (marks.size() != words.size()) __builtin_trap();
  std::vector<std::string> back = Split(QuoteArgument(text));
  if (back.size() != 1 || back[0] != text) __builtin_trap();

  Expand(ctx, text, data[0] & 1);
  FormatVersionMessage(text, "1.8.0_1", "1.6", "11");

  ctx.configText = "message " + text + std::string(1, '\0');
  ResetMessageOverridesForTests();
  Message(ctx, data[0]);
  return 0;
}
