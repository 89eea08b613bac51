// Applying an application's Windows resources to a stub image.
#include <gtest/gtest.h>

#include "payload/payload.h"
#include "support/pe_builder.h"
#include "support/picture_builder.h"
#include "support/test_util.h"
#include "tools/pe_resources.h"
#include "tools/string_table.h"
#include "tools/windows_resources.h"

using testutil::FakePe;
using testutil::FakeSection;

namespace {

const char kManifest[] = "<?xml version=\"1.0\"?><assembly manifestVersion=\"1.0\"/>";

std::string Record() {
  std::string r(8, '\0');
  r += kPayloadMarker;
  return r + std::string(1, '\0');
}

// A stub like the real one: code, read-only data holding the payload-location record, and
// last the resources: a manifest and string table block 1 in English (United States).
std::string FakeStub() {
  StringBlock strings;
  strings[1] = u"Java Runtime Environment not found.";
  strings[10] = u"Error";
  ResourceTable table;
  table[ResourceKey{ResourceNumber(kRtManifest), ResourceNumber(1), kLangEnglishUs}] = {kManifest, 0};
  table[ResourceKey{ResourceNumber(kRtString), ResourceNumber(1), kLangEnglishUs}] = {EncodeStringBlock(strings), 0};
  std::vector<FakeSection> sections = {{".text", std::string(600, '\xC3'), 0x60000020},
                                       {".rdata", "constants" + Record() + "more"},
                                       {".rsrc", ""}};
  sections[2].data = BuildResourceSection(table, testutil::FakeSectionRva(sections, 2));
  return FakePe(sections, 2);
}

ResourceTable ResourcesOf(const std::string& file) {
  PeImage image;
  ResourceTable table;
  std::string error;
  EXPECT_TRUE(ParsePeImage(file, image, error)) << error;
  EXPECT_TRUE(ReadResources(file, image, GetDirectory(file, image, kPeResourceDirectory), table, error)) << error;
  return table;
}

const ResourceData* Find(const ResourceTable& t, uint32_t type, uint32_t name, uint16_t lang = kLangEnglishUs) {
  auto it = t.find(ResourceKey{ResourceNumber(type), ResourceNumber(name), lang});
  return it == t.end() ? nullptr : &it->second;
}

std::u16string StringOf(const ResourceTable& t, uint16_t id) {
  const ResourceData* d = Find(t, kRtString, id / 16u + 1);
  StringBlock block;
  if (!d || !DecodeStringBlock(d->bytes, block)) return u"<missing>";
  return block[id % 16];
}

struct Inputs {
  testutil::TempDir dir;
  std::string Write(const std::string& name, const std::string& bytes) {
    testutil::WriteFile(dir / name, bytes);
    return dir / name;
  }
};

}  // namespace

TEST(ApplyWindowsResources, AddsTheApplicationsResourcesAndKeepsTheStubs) {
  Inputs in;
  const std::string ico = testutil::MakeIco({{16, 0xFF112233}, {32, 0xFF445566}});
  const std::string bmp = testutil::MakeBmp(8, 4);
  WindowsResourceOptions o;
  o.icon = in.Write("app.ico", ico);
  o.splash = {in.Write("splash.bmp", bmp), in.Write("splash.png", "\x89PNG\r\n\x1A\npng bytes")};
  o.version.fileVersion = "2.1";
  o.version.productName = "Ledger";
  o.version.originalFilename = "ledger.exe";
  o.messages = {"7=No main class.", "40=beyond the first block", "7=Main class missing."};

  const std::string stub = FakeStub();
  std::string file = stub, error;
  ASSERT_TRUE(HasWindowsResources(o));
  ASSERT_TRUE(ApplyWindowsResources(file, o, error)) << error;
  const ResourceTable t = ResourcesOf(file);

  ASSERT_TRUE(Find(t, kRtManifest, 1));
  EXPECT_EQ(Find(t, kRtManifest, 1)->bytes, kManifest);
  EXPECT_EQ(StringOf(t, 1), u"Java Runtime Environment not found.");
  EXPECT_EQ(StringOf(t, 10), u"Error");
  EXPECT_EQ(StringOf(t, 7), u"Main class missing.") << "the last --message for a number wins";
  EXPECT_EQ(StringOf(t, 40), u"beyond the first block");
  ASSERT_TRUE(Find(t, kRtIcon, 1) && Find(t, kRtIcon, 2) && Find(t, kRtGroupIcon, 1));
  EXPECT_EQ(Find(t, kRtIcon, 2)->bytes, ico.substr(ico.size() - Find(t, kRtIcon, 2)->bytes.size()));
  ASSERT_TRUE(Find(t, kRtBitmap, 100));
  EXPECT_EQ(Find(t, kRtBitmap, 100)->bytes, bmp.substr(14));
  ASSERT_TRUE(Find(t, kRtRcdata, 100));
  EXPECT_EQ(Find(t, kRtRcdata, 100)->bytes, "\x89PNG\r\n\x1A\npng bytes");
  ASSERT_TRUE(Find(t, kRtVersion, 1));
  EXPECT_NE(Find(t, kRtVersion, 1)->bytes.find(std::string("l\0e\0d\0g\0e\0r\0.\0e\0x\0e\0", 20)), std::string::npos);

  // The image in front of the resources is the stub's, record included, except for the
  // header fields that describe the resources.
  size_t record = stub.find(kPayloadMarker);
  ASSERT_NE(record, std::string::npos);
  EXPECT_EQ(file.find(kPayloadMarker), record);
  const uint32_t resourcesAt = 0x800;  // .text and .rdata take 0x200 file bytes each
  EXPECT_EQ(file.compare(0x400, resourcesAt - 0x400, stub, 0x400, resourcesAt - 0x400), 0);
}

TEST(ApplyWindowsResources, ReplacesTheManifestInItsLanguage) {
  Inputs in;
  WindowsResourceOptions o;
  const std::string mine = "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'><!-- mine --></assembly>";
  o.manifest = in.Write("app.manifest", mine);
  std::string file = FakeStub(), error;
  ASSERT_TRUE(ApplyWindowsResources(file, o, error)) << error;
  const ResourceTable t = ResourcesOf(file);
  ASSERT_TRUE(Find(t, kRtManifest, 1));
  EXPECT_EQ(Find(t, kRtManifest, 1)->bytes, mine);
  EXPECT_EQ(ResourceLanguages(t, kRtManifest, 1).size(), 1u);
}

TEST(ApplyWindowsResources, BadInputLeavesTheStubAsItWasAndNamesTheOption) {
  Inputs in;
  const std::string ico = in.Write("good.ico", testutil::MakeIco({{16, 0}}));
  struct Case {
    const char* what;
    WindowsResourceOptions options;
    const char* mention;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, const char* mention, auto set) {
    WindowsResourceOptions o;
    o.icon = ico;  // something valid alongside, so nothing partial may stay behind
    set(o);
    cases.push_back({what, o, mention});
  };
  add("icon that is a bitmap", "--icon", [&](auto& o) { o.icon = in.Write("bmp.ico", testutil::MakeBmp(2, 2)); });
  add("missing icon", "--icon", [&](auto& o) { o.icon = in.dir / "missing.ico"; });
  add("bitmap that is cut off", "--splash", [&](auto& o) { o.splash = {in.Write("cut.bmp", testutil::MakeBmp(9, 9).substr(0, 80))}; });
  add("splash of unknown kind", "--splash", [&](auto& o) { o.splash = {in.Write("s.svg", "<svg/>")}; });
  add("two bitmaps", "--splash", [&](auto& o) {
    o.splash = {in.Write("a.bmp", testutil::MakeBmp(2, 2)), in.Write("b.bmp", testutil::MakeBmp(3, 3))};
  });
  add("version", "--file-version", [](auto& o) { o.version.fileVersion = "1.2.3.4.5"; });
  add("manifest that is not XML", "--manifest", [&](auto& o) { o.manifest = in.Write("m.txt", "requireAdministrator"); });
  add("manifest that is other XML", "--manifest", [&](auto& o) { o.manifest = in.Write("m.xml", "<html></html>"); });
  add("message", "--message", [](auto& o) { o.messages = {"seven=x"}; });
  for (Case& c : cases) {
    const std::string stub = FakeStub();
    std::string file = stub, error;
    EXPECT_FALSE(ApplyWindowsResources(file, c.options, error)) << c.what;
    EXPECT_NE(error.find(c.mention), std::string::npos) << c.what << ": " << error;
    EXPECT_TRUE(file == stub) << c.what;
  }
}

TEST(ApplyWindowsResources, RefusesAStubItCannotRewrite) {
  WindowsResourceOptions o;
  o.messages = {"1=x"};
  std::string notPe = "MZ but nothing else", error;
  EXPECT_FALSE(ApplyWindowsResources(notPe, o, error));
  EXPECT_EQ(notPe, "MZ but nothing else");
  std::string relocLast = FakePe({{".text", "c", 0x60000020}, {".rsrc", "r"}, {".reloc", "x"}}, 1);
  EXPECT_FALSE(ApplyWindowsResources(relocLast, o, error));
  EXPECT_NE(error.find("last section"), std::string::npos) << error;
}
