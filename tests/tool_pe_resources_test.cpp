#include <gtest/gtest.h>

#include "support/pe_builder.h"
#include "tools/byte_io.h"
#include "tools/pe_resources.h"

using testutil::FakePe;
using testutil::FakeSection;

namespace {

constexpr uint32_t kRsrcRva = 0x2000;  // second section of the images below

ResourceKey Key(ResourceId type, ResourceId name, uint16_t language) { return ResourceKey{type, name, language}; }
ResourceId Named(const char16_t* name) { return ResourceId{0, name}; }

// An image whose last section holds `section` (built for kRsrcRva) as its resources.
std::string ImageWithResources(const std::string& section) {
  return FakePe({{".text", "code", 0x60000020}, {".rsrc", section}}, 1);
}

bool ReadBack(const std::string& file, ResourceTable& table, std::string& error) {
  PeImage image;
  if (!ParsePeImage(file, image, error)) return false;
  return ReadResources(file, image, GetDirectory(file, image, kPeResourceDirectory), table, error);
}

ResourceTable SampleTable() {
  ResourceTable t;
  t[Key(ResourceNumber(kRtString), ResourceNumber(1), 0x0409)] = {"english strings", 0};
  t[Key(ResourceNumber(kRtString), ResourceNumber(1), 0x0407)] = {"german", 0};
  t[Key(ResourceNumber(kRtManifest), ResourceNumber(1), 0x0409)] = {"<assembly/>", 1252};
  t[Key(ResourceNumber(kRtRcdata), Named(u"SETTINGS"), 0)] = {std::string("odd\0size", 8) + "!", 0};
  t[Key(Named(u"CUSTOM"), Named(u"B"), 0)] = {"b", 0};
  t[Key(Named(u"CUSTOM"), Named(u"A"), 0)] = {"a", 0};
  t[Key(Named(u"CUSTOM"), ResourceNumber(7), 0)] = {"", 0};
  return t;
}

uint16_t U16(const std::string& s, uint32_t at) {
  uint16_t v = 0;
  ReadLe16(s, at, v);
  return v;
}
uint32_t U32(const std::string& s, uint32_t at) {
  uint32_t v = 0;
  ReadLe32(s, at, v);
  return v;
}

}  // namespace

TEST(ResourceTree, WhatIsWrittenReadsBackWithItsCodePages) {
  const ResourceTable table = SampleTable();
  std::string error;
  ResourceTable back;
  ASSERT_TRUE(ReadBack(ImageWithResources(BuildResourceSection(table, kRsrcRva)), back, error)) << error;
  ASSERT_EQ(back.size(), table.size());
  for (auto a = table.begin(), b = back.cbegin(); a != table.end(); ++a, ++b) {
    EXPECT_FALSE(a->first < b->first || b->first < a->first);
    EXPECT_EQ(a->second.bytes, b->second.bytes);
    EXPECT_EQ(a->second.codePage, b->second.codePage);
  }
}

TEST(ResourceTree, NamedEntriesComeFirstThenNumbersAscendingAndDataIsAligned) {
  const std::string s = BuildResourceSection(SampleTable(), kRsrcRva);
  // Root: one named type ("CUSTOM"), then RT_STRING (6), RT_RCDATA (10), RT_MANIFEST (24).
  EXPECT_EQ(U16(s, 12), 1);
  EXPECT_EQ(U16(s, 14), 3);
  uint32_t nameField = U32(s, 16);
  ASSERT_TRUE(nameField & 0x80000000u);
  uint32_t at = nameField & 0x7FFFFFFFu;
  EXPECT_EQ(U16(s, at), 6);
  EXPECT_EQ(s.substr(at + 2, 12), std::string("C\0U\0S\0T\0O\0M\0", 12));
  EXPECT_EQ(U32(s, 24), kRtString);
  EXPECT_EQ(U32(s, 32), kRtRcdata);
  EXPECT_EQ(U32(s, 40), kRtManifest);
  // Under "CUSTOM": "A" before "B", then 7.
  uint32_t custom = U32(s, 20) & 0x7FFFFFFFu;
  EXPECT_EQ(U16(s, custom + 12), 2);
  EXPECT_EQ(U16(s, custom + 14), 1);
  EXPECT_EQ(s[(U32(s, custom + 16) & 0x7FFFFFFFu) + 2], 'A');
  EXPECT_EQ(s[(U32(s, custom + 24) & 0x7FFFFFFFu) + 2], 'B');
  EXPECT_EQ(U32(s, custom + 32), 7u);
  // Language level of RT_STRING 1: 0x0407 before 0x0409, each pointing at a data entry
  // whose RVA is 8-aligned and inside the section.
  uint32_t strings = U32(s, 28) & 0x7FFFFFFFu;
  uint32_t languages = U32(s, strings + 20) & 0x7FFFFFFFu;
  EXPECT_EQ(U32(s, languages + 16), 0x0407u);
  EXPECT_EQ(U32(s, languages + 24), 0x0409u);
  for (uint32_t e : {languages + 16, languages + 24}) {
    uint32_t entry = U32(s, e + 4);
    EXPECT_FALSE(entry & 0x80000000u) << "a language leads to data, not to a directory";
    uint32_t rva = U32(s, entry);
    EXPECT_EQ(rva % 8, 0u);
    EXPECT_GE(rva, kRsrcRva);
    EXPECT_LE(rva - kRsrcRva + U32(s, entry + 4), s.size());
  }
}

TEST(ResourceTree, MalformedDirectoriesAreRejected) {
  ResourceTable one;
  one[Key(ResourceNumber(kRtRcdata), ResourceNumber(100), 0)] = {"data", 0};
  const std::string good = BuildResourceSection(one, kRsrcRva);
  // Layout of `good`: root table at 0 (entry at 16), type table at 24 (entry at 40), language
  // table at 48 (entry at 64), data entry at 72, data at 88.
  struct Case {
    const char* what;
    uint32_t at;
    uint32_t value;
  };
  const Case cases[] = {
      {"subdirectory offset beyond the section", 20, 0x80000000u | 0x7FFF0000u},
      {"subdirectory pointing back at the root", 44, 0x80000000u},
      {"language level leading to a directory", 68, 0x80000000u | 24},
      {"type leading straight to data", 20, 72},
      {"data outside the image", 72, 0x7FFFFF00u},
      {"data running past its section", 76, 0x10000u},
      {"name string beyond the section", 16, 0x80000000u | 0x10000u},
      {"entry count beyond the section", 12, 0xFFFF0000u},
  };
  for (const Case& c : cases) {
    std::string section = good;
    WriteLe32(section, c.at, c.value);
    ResourceTable table;
    std::string error;
    EXPECT_FALSE(ReadBack(ImageWithResources(section), table, error)) << c.what;
    EXPECT_TRUE(table.empty()) << c.what;
  }
  ResourceTable table;
  std::string error;
  EXPECT_TRUE(ReadBack(ImageWithResources(good), table, error)) << error;
}

TEST(ResourceTree, RemovingAResourceTakesAllItsLanguages) {
  ResourceTable t = SampleTable();
  const ResourceId one = ResourceNumber(1);
  EXPECT_EQ(ResourceLanguages(t, kRtString, 1), (std::vector<uint16_t>{0x0407, 0x0409}));
  RemoveResources(t, kRtString, &one);
  EXPECT_TRUE(ResourceLanguages(t, kRtString, 1).empty());
  EXPECT_EQ(ResourceLanguages(t, kRtManifest, 1), std::vector<uint16_t>{0x0409});
  RemoveResources(t, kRtManifest);
  EXPECT_EQ(t.size(), 4u);
}
