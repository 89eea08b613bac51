// The wrap tool's readers of untrusted files: the stub's PE headers and resource tree, icon
// files, bitmaps, manifests and string table blocks. The first byte picks the reader. A
// stub whose resources read back is also rewritten and read once more, which must succeed.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/ico.h"
#include "tools/pe_image.h"
#include "tools/pe_resources.h"
#include "tools/picture.h"
#include "tools/string_table.h"
#include "tools/version_info.h"
#include "tools/xml_check.h"

namespace {

void RoundTripResources(std::string file) {
  PeImage image;
  ResourceSlot slot;
  ResourceTable table;
  std::string error;
  if (!ParsePeImage(file, image, error) || !PlanResourceSection(file, image, slot, error) ||
      !ReadResources(file, image, slot.old, table, error))
    return;
  std::string section = BuildResourceSection(table, slot.rva);
  if (section.size() > (1u << 24)) return;
  InstallResourceSection(file, image, slot, section);
  ResourceTable again;
  if (!ParsePeImage(file, image, error) ||
      !ReadResources(file, image, GetDirectory(file, image, kPeResourceDirectory), again, error) ||
      again.size() != table.size())
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string out, error;
  switch (data[0] % 6) {
    case 0: RoundTripResources(input); break;
    case 1: {
      std::vector<IconImage> images;
      if (ParseIco(input, images, error)) GroupIconData(images, 1);
      break;
    }
    case 2: BmpToResource(input, out, error); break;
    case 3: CheckXml(input, out, error); break;
    case 4: {
      StringBlock block;
      if (DecodeStringBlock(input, block)) EncodeStringBlock(block);
      break;
    }
    case 5: {
      VersionNumber v;
      MessageText m;
      ParseVersionNumber(input, v);
      ParseMessageOption(input, m, error);
      break;
    }
  }
  return 0;
}
