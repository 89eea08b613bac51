#include <gtest/gtest.h>

#include "support/pe_builder.h"
#include "tools/pe_image.h"
#include "tools/pe_resources.h"

using testutil::FakePe;
using testutil::FakeSection;
using testutil::GetLe32At;
using testutil::kFakeOptionalHeader;
using testutil::PutLe16At;
using testutil::PutLe32At;

namespace {

constexpr uint32_t kChecksumAt = kFakeOptionalHeader + 64;
constexpr uint32_t kSizeOfImageAt = kFakeOptionalHeader + 56;
constexpr uint32_t kResourceDirAt = kFakeOptionalHeader + 112 + 16;
constexpr uint32_t kFirstSectionHeader = kFakeOptionalHeader + 240;

std::vector<FakeSection> TextDataRsrc() {
  return {{".text", std::string(700, 'T'), 0x60000020}, {".rdata", std::string(300, 'R')},
          {".rsrc", std::string(100, 'S')}};
}

}  // namespace

TEST(PeImage, ReadsTheSectionTableOfAWellFormedImage) {
  std::string file = FakePe(TextDataRsrc(), 2);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ParsePeImage(file, image, error)) << error;
  ASSERT_EQ(image.sections.size(), 3u);
  EXPECT_EQ(image.sections[1].name, ".rdata");
  EXPECT_EQ(image.sections[2].virtualAddress, 0x3000u);
  EXPECT_EQ(ImageEnd(image), uint32_t(file.size()));
  PeDirectory dir = GetDirectory(file, image, kPeResourceDirectory);
  EXPECT_EQ(dir.rva, 0x3000u);
  EXPECT_EQ(dir.size, 100u);
  uint32_t offset = 0;
  EXPECT_TRUE(RvaToOffset(image, 0x2000 + 10, 290, offset));
  EXPECT_EQ(file[offset], 'R');
  EXPECT_FALSE(RvaToOffset(image, 0x2000 + 10, 291, offset)) << "past the section's bytes";
}

TEST(PeImage, DamagedHeadersAreRejectedWithoutReadingOutsideTheFile) {
  const std::string good = FakePe(TextDataRsrc(), 2);
  struct Damage {
    const char* what;
    std::string file;
  };
  std::vector<Damage> cases;
  auto damaged = [&](const char* what, auto change) {
    std::string f = good;
    change(f);
    cases.push_back({what, f});
  };
  damaged("no MZ", [](std::string& f) { f[0] = 'X'; });
  damaged("PE offset beyond the file", [](std::string& f) { PutLe32At(f, 0x3C, 0xFFFFFFF0); });
  damaged("no PE signature", [](std::string& f) { f[0x41] = 'X'; });
  damaged("32-bit image", [](std::string& f) { PutLe16At(f, kFakeOptionalHeader, 0x10B); });
  damaged("optional header too large", [](std::string& f) { PutLe16At(f, 0x54, 0xFFFF); });
  damaged("too many directories", [](std::string& f) { PutLe32At(f, kFakeOptionalHeader + 108, 17); });
  damaged("file alignment not a power of two", [](std::string& f) { PutLe32At(f, kFakeOptionalHeader + 36, 0x300); });
  damaged("section table cut off", [](std::string& f) { PutLe16At(f, 0x46, 0xFFFF); });
  damaged("section beyond the end", [](std::string& f) { PutLe32At(f, kFirstSectionHeader + 16, 0x7FFFFFFF); });
  damaged("section offset wraps", [](std::string& f) { PutLe32At(f, kFirstSectionHeader + 20, 0xFFFFFF00); });
  cases.push_back({"truncated", good.substr(0, 0x100)});
  cases.push_back({"empty", ""});
  for (const Damage& d : cases) {
    PeImage image;
    std::string error;
    EXPECT_FALSE(ParsePeImage(d.file, image, error)) << d.what;
    EXPECT_FALSE(error.empty()) << d.what;
  }
}

TEST(PeChecksum, FoldsCarriesSkipsItsOwnFieldAndAddsTheLength) {
  // Words 0xFFFF + 0x0003 = 0x10002, folded to 0x0003; plus 6 bytes of length.
  std::string file("\xFF\xFF\x03\x00\x55\x66", 6);
  EXPECT_EQ(PeChecksum(file, 4), 0x0003u + 6);
  // An odd last byte counts as a word with a zero high byte.
  EXPECT_EQ(PeChecksum(std::string("\x01\x00\x07", 3), 100), 0x0008u + 3);
  std::string image = FakePe(TextDataRsrc(), 2);
  ASSERT_TRUE(UpdatePeChecksum(image));
  uint32_t stored = GetLe32At(image, kChecksumAt);
  EXPECT_NE(stored, 0u);
  EXPECT_EQ(PeChecksum(image, kChecksumAt), stored) << "the stored value does not feed into itself";
}

TEST(ResourceSection, GrowsInPlaceWhenItIsTheLastSection) {
  std::string file = FakePe(TextDataRsrc(), 2) + "appended payload";
  PeImage image;
  ResourceSlot slot;
  std::string error;
  ASSERT_TRUE(ParsePeImage(file, image, error));
  ASSERT_TRUE(PlanResourceSection(file, image, slot, error)) << error;
  EXPECT_FALSE(slot.append);
  EXPECT_EQ(slot.rva, 0x3000u);
  const std::string before = file.substr(0, slot.rawPointer);

  const std::string section(0x1801, 'N');  // grows past a page and a file alignment unit
  InstallResourceSection(file, image, slot, section);
  EXPECT_EQ(file.size(), slot.rawPointer + 0x1A00u) << "payload dropped, raw size aligned";
  EXPECT_EQ(file.substr(slot.rawPointer, section.size()), section);
  EXPECT_EQ(GetLe32At(file, kSizeOfImageAt), 0x5000u);
  EXPECT_EQ(GetLe32At(file, kResourceDirAt), 0x3000u);
  EXPECT_EQ(GetLe32At(file, kResourceDirAt + 4), 0x1801u);
  EXPECT_EQ(PeChecksum(file, kChecksumAt), GetLe32At(file, kChecksumAt));
  // Nothing but the header fields changed in front of the section.
  size_t differing = 0;
  for (size_t i = 0; i < before.size(); ++i) differing += before[i] != file[i];
  EXPECT_LE(differing, 4u + 4u + 2u + 4u + 3u + 3u);
  EXPECT_EQ(file.substr(0x400, 0x400), before.substr(0x400, 0x400)) << ".text untouched";
  PeImage after;
  ASSERT_TRUE(ParsePeImage(file, after, error)) << error;
  EXPECT_EQ(after.sections[2].virtualSize, 0x1801u);
  EXPECT_EQ(after.sections[2].rawSize, 0x1A00u);
}

TEST(ResourceSection, IsAppendedWhenTheImageHasNone) {
  std::vector<FakeSection> sections = {{".text", "code", 0x60000020}, {".rdata", "data"}};
  std::string file = FakePe(sections);
  PeImage image;
  ResourceSlot slot;
  std::string error;
  ASSERT_TRUE(ParsePeImage(file, image, error));
  ASSERT_TRUE(PlanResourceSection(file, image, slot, error)) << error;
  EXPECT_TRUE(slot.append);
  EXPECT_EQ(slot.rva, 0x3000u);
  InstallResourceSection(file, image, slot, "RSRC");
  PeImage after;
  ASSERT_TRUE(ParsePeImage(file, after, error)) << error;
  ASSERT_EQ(after.sections.size(), 3u);
  EXPECT_EQ(after.sections[2].name, ".rsrc");
  EXPECT_EQ(after.sections[2].virtualAddress, 0x3000u);
  EXPECT_EQ(GetDirectory(file, after, kPeResourceDirectory).rva, 0x3000u);
  EXPECT_EQ(GetLe32At(file, kSizeOfImageAt), 0x4000u);
}

TEST(ResourceSection, IsRefusedWhenAnotherSectionFollowsIt) {
  std::vector<FakeSection> sections = {{".text", "code", 0x60000020}, {".rsrc", "old"}, {".reloc", "rel"}};
  std::string file = FakePe(sections, 1);
  PeImage image;
  ResourceSlot slot;
  std::string error;
  ASSERT_TRUE(ParsePeImage(file, image, error));
  EXPECT_FALSE(PlanResourceSection(file, image, slot, error));
  EXPECT_NE(error.find("last section"), std::string::npos) << error;
}

// Found by fuzzing: a section without raw data maps nothing of the file, even at its own
// first address; and a resource section whose raw data lies over the headers is not
// rewritten (writing it would overwrite them).
TEST(PeImage, SectionsWithoutRawDataOrOverTheHeadersAreNotUsed) {
  std::string file = FakePe(TextDataRsrc(), 2);
  PutLe32At(file, kFirstSectionHeader + 12, 0);  // .text at address 0 ...
  PutLe32At(file, kFirstSectionHeader + 16, 0);  // ... without raw data
  PutLe32At(file, kFirstSectionHeader + 8, 0);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ParsePeImage(file, image, error)) << error;
  uint32_t offset = 0;
  EXPECT_FALSE(RvaToOffset(image, 0, 0, offset));

  PutLe32At(file, kFirstSectionHeader + 2 * 40 + 20, 0);  // .rsrc raw data at file offset 0
  ResourceSlot slot;
  ASSERT_TRUE(ParsePeImage(file, image, error)) << error;
  EXPECT_FALSE(PlanResourceSection(file, image, slot, error));
}
