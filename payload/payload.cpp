#include "payload/payload.h"

#include <cstring>

#include "payload/config.h"
#include "platform/env.h"
#include "platform/fs.h"

namespace {
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}  // namespace

uint32_t RecordArchiveLength() {
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = plb_payload_record[i];
  return Le32(b);
}

std::string RecordEcho(const volatile unsigned char* record) {
  std::string out;
  for (size_t i = 0; i < kPayloadRecordSize; ++i) {
    unsigned char c = record[i];
    out.push_back(c < 32 ? '.' : static_cast<char>(c));
  }
  out.push_back('\n');
  return out;
}

uint32_t EndRecordWindow(uint32_t fileSize) {
  uint32_t w = fileSize / 100;
  return w > 51200 ? w : 51200;
}

uint32_t FindTrailingLength(const uint8_t* file, uint32_t size) {
  if (size < 22) return 0;
  uint32_t high = size - 22;
  uint32_t window = EndRecordWindow(size);
  uint32_t low = high > window ? high - window : 0;
  for (uint32_t p = high + 1; p-- > low;) {
    if (file[p] == 'P' && file[p + 1] == 'K' && file[p + 2] == 5 && file[p + 3] == 6) return size - p - 22;
  }
  return 0;
}

int32_t ArchiveStartOffset(const uint8_t* file, uint32_t size, uint32_t archiveLength) {
  if (archiveLength == 0) return -1;  // a bare stub: nothing appended
  uint32_t r = FindTrailingLength(file, size);
  uint64_t tail = uint64_t(r) + archiveLength;
  if (tail > size) return -1;
  uint32_t start = size - static_cast<uint32_t>(tail);
  if (start < 4 + kBuilderBlockSize || start > 0x7FFFFFFF) return -1;
  return static_cast<int32_t>(start);
}

bool EmbeddedTextBlock(const uint8_t* file, uint32_t size, int32_t archiveStart, std::string_view& text) {
  if (archiveStart < 0 || static_cast<uint32_t>(archiveStart) > size ||
      static_cast<uint32_t>(archiveStart) < 4 + kBuilderBlockSize)
    return false;
  uint32_t lengthAt = static_cast<uint32_t>(archiveStart) - kBuilderBlockSize - 4;
  uint32_t t = Le32(file + lengthAt);
  if (t > lengthAt) return false;
  text = std::string_view(reinterpret_cast<const char*>(file + lengthAt - t), t);
  return true;
}

bool BuilderSaysFlat(const uint8_t* file, uint32_t size, int32_t archiveStart) {
  if (archiveStart < static_cast<int32_t>(kBuilderBlockSize) || static_cast<uint32_t>(archiveStart) > size) return false;
  const uint8_t* block = file + archiveStart - kBuilderBlockSize;
  return std::memcmp(block, kBuilderMagic, 8) == 0 && ((block[10] | block[11] << 8) & kBuilderFlagFlat) != 0;
}

void LocatePayload(LauncherContext& ctx) {
  ctx.archiveStart = -1;
  std::string path = plat::ExecutablePath();
  uint32_t archiveLength = RecordArchiveLength();
  std::string ignored;
  if (plat::GetEnv(kBinaryDebugVariable, ignored)) plat::WriteStdout(RecordEcho(plb_payload_record));
  plat::MappedFile file;
  if (!file.Open(path)) return;
  ctx.archiveStart = ArchiveStartOffset(file.data(), file.size(), archiveLength);
  ctx.flatArchive = BuilderSaysFlat(file.data(), file.size(), ctx.archiveStart);
}

void ReadEmbeddedText(LauncherContext& ctx) {
  if (ctx.archiveStart < 0) return;
  plat::MappedFile file;
  if (!file.Open(ctx.exePath)) return;
  std::string_view text;
  if (EmbeddedTextBlock(file.data(), file.size(), ctx.archiveStart, text)) AppendText(ctx, text.data(), text.size());
}
