// The resources of a Windows executable as a flat table, read from and written to the
// three-level resource directory (type, name, language) of a resource section.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "tools/pe_image.h"

// A resource type or name: a number, or a UTF-16 name when `name` is not empty.
struct ResourceId {
  uint32_t number = 0;
  std::u16string name;
};

// Directory order: named entries first (by their UTF-16 units), then numbers ascending.
bool operator<(const ResourceId& a, const ResourceId& b);
bool operator==(const ResourceId& a, const ResourceId& b);

struct ResourceKey {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
};
bool operator<(const ResourceKey& a, const ResourceKey& b);

struct ResourceData {
  std::string bytes;
  uint32_t codePage = 0;
};

// Sorted in the order the directory needs.
using ResourceTable = std::map<ResourceKey, ResourceData>;

inline constexpr uint32_t kRtIcon = 3;
inline constexpr uint32_t kRtBitmap = 2;
inline constexpr uint32_t kRtString = 6;
inline constexpr uint32_t kRtRcdata = 10;
inline constexpr uint32_t kRtGroupIcon = 14;
inline constexpr uint32_t kRtVersion = 16;
inline constexpr uint32_t kRtManifest = 24;
inline constexpr uint16_t kLangEnglishUs = 0x0409;

inline ResourceId ResourceNumber(uint32_t n) { return ResourceId{n, {}}; }

// Reads the resource directory at `dir` of the image. False with a reason when the tree
// is malformed: an offset outside the directory, a level too deep or too shallow, data
// outside the image, or more entries than any real executable carries.
bool ReadResources(std::string_view file, const PeImage& image, PeDirectory dir, ResourceTable& table,
                   std::string& error);

// The bytes of a resource section placed at `sectionRva`: the directory tables, the name
// strings, the data entries and the data, each data block aligned to 8 bytes.
std::string BuildResourceSection(const ResourceTable& table, uint32_t sectionRva);

// Removes every language of resource (type, name); with an empty name, every resource of
// the type.
void RemoveResources(ResourceTable& table, uint32_t type, const ResourceId* name = nullptr);

// The languages in which resource (type, name) exists.
std::vector<uint16_t> ResourceLanguages(const ResourceTable& table, uint32_t type, uint32_t name);
