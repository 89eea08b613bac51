// Feeds arbitrary bytes to the payload locator and the configuration decoder and lookups.
// Input: 4 bytes of archive length, then the file image.
#include <cstdint>
#include <cstring>
#include <string>

#include "payload/config.h"
#include "payload/payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t archiveLength;
  std::memcpy(&archiveLength, data, 4);
  const uint8_t* file = data + 4;
  uint32_t fileSize = static_cast<uint32_t>(size - 4);

  LauncherContext ctx;
  ctx.archiveStart = ArchiveStartOffset(file, fileSize, archiveLength);
  std::string_view text;
  if (EmbeddedTextBlock(file, fileSize, ctx.archiveStart, text)) AppendText(ctx, text.data(), text.size());
  // The same bytes as an external file in front of it.
  LauncherContext both;
  AppendText(both, reinterpret_cast<const char*>(file), fileSize);
  both.configText += "\r\n";
  both.externalLength = static_cast<int32_t>(both.configText.size());
  both.configText += ctx.configText;

  for (const LauncherContext* c : {&ctx, &both}) {
    for (const char* key : {"mainclass", "option", "splash", "message", "property", "a"}) {
      LookUp(*c, key);
      LookUp(*c, key, {true, true, "-X"});
      LookUpAll(*c, key, {false, false, {}}, [](const std::string&) {});
    }
    CfgDisableExternal(*c);
    CfgProperties(*c);
  }
  return 0;
}
