// The inputs that become resources: icon files, bitmaps, version texts, message texts and
// manifests.
#include <gtest/gtest.h>

#include <map>

#include "platform/text.h"
#include "support/picture_builder.h"
#include "tools/byte_io.h"
#include "tools/ico.h"
#include "tools/picture.h"
#include "tools/string_table.h"
#include "tools/version_info.h"
#include "tools/xml_check.h"

using testutil::MakeBmp;
using testutil::MakeIco;

namespace {

// Walks a version resource the way the system's version functions do: every node is
// length, value length, type, key, padding to 4, value, padding to 4, children. Collects
// "StringFileInfo/<table>/<key>" texts and the fixed block.
struct VersionReader {
  std::string data;
  std::map<std::string, std::u16string> strings;
  std::string fixed;
  bool ok = true;

  static size_t Align4(size_t v) { return (v + 3) & ~size_t(3); }

  void Node(size_t at, size_t end, const std::string& path) {
    uint16_t length = 0, valueLength = 0, type = 0;
    ok = ok && ReadLe16(data, at, length) && ReadLe16(data, at + 2, valueLength) && ReadLe16(data, at + 4, type) &&
         length >= 6 && at + length <= end;
    if (!ok) return;
    std::u16string key;
    size_t p = at + 6;
    for (uint16_t u = 1; ok && (ok = ReadLe16(data, p, u)) && u != 0; p += 2) key.push_back(char16_t(u));
    p = Align4(p + 2);
    std::string name(key.begin(), key.end());
    size_t valueBytes = type == 1 ? 2u * valueLength : valueLength;
    if (type == 1 && valueLength > 0) {
      std::u16string text;
      for (size_t i = 0; i + 1 < valueLength; ++i) {
        uint16_t u = 0;
        ReadLe16(data, p + 2 * i, u);
        text.push_back(char16_t(u));
      }
      strings[path + name] = text;
    }
    if (name == "VS_VERSION_INFO") fixed = data.substr(p, valueLength);
    for (size_t child = Align4(p + valueBytes); ok && child < at + length;) {
      uint16_t childLength = 0;
      ok = ReadLe16(data, child, childLength) && childLength > 0;
      Node(child, at + length, name == "VS_VERSION_INFO" ? "" : path + name + "/");
      child = Align4(child + childLength);
    }
  }

  explicit VersionReader(std::string d) : data(std::move(d)) { Node(0, data.size(), ""); }
  uint32_t Fixed(size_t index) const {
    uint32_t v = 0;
    ReadLe32(fixed, 4 * index, v);
    return v;
  }
};

}  // namespace

TEST(IconFile, EveryImageIsKeptAndTheGroupNamesThemInOrder) {
  const std::string ico = MakeIco({{16, 0xFF0000FF}, {32, 0xFF00FF00}});
  std::vector<IconImage> images;
  std::string error;
  ASSERT_TRUE(ParseIco(ico, images, error)) << error;
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[1].width, 32);
  EXPECT_EQ(images[1].bitCount, 32);
  EXPECT_EQ(images[0].data, ico.substr(6 + 32, images[0].data.size()));
  // The group: a 6-byte header and 14-byte entries, the icon's fields with an id instead of
  // a file offset.
  const std::string group = GroupIconData(images, 1);
  ASSERT_EQ(group.size(), 6u + 2 * 14);
  EXPECT_EQ(group.substr(0, 6), ico.substr(0, 6));
  EXPECT_EQ(group.substr(6, 12), ico.substr(6, 12));
  EXPECT_EQ(group.substr(20 + 12, 2), std::string("\x02\x00", 2));

  std::string png = ico;  // a PNG image inside an .ico is accepted as it stands
  png.replace(38, 8, "\x89PNG\r\n\x1A\n");
  EXPECT_TRUE(ParseIco(png, images, error)) << error;
}

TEST(IconFile, FilesThatAreNotIconsAreRefused) {
  const std::string ico = MakeIco({{16, 0xFF0000FF}});
  auto with = [&](size_t at, const std::string& bytes) {
    std::string f = ico;
    f.replace(at, bytes.size(), bytes);
    return f;
  };
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"empty", ""},
      {"a bitmap", MakeBmp(2, 2)},
      {"a cursor file", with(2, std::string("\x02\x00", 2))},
      {"no images", with(4, std::string("\x00\x00", 2))},
      {"directory cut off", ico.substr(0, 12)},
      {"image beyond the end", with(14, std::string("\xFF\xFF\x00\x00", 4))},
      {"image offset wraps", with(18, std::string("\xF0\xFF\xFF\xFF", 4))},
      {"image inside the directory", with(18, std::string("\x02\x00\x00\x00", 4))},
      {"image of size 0", with(14, std::string(4, '\0'))},
      {"image neither PNG nor bitmap", with(22, "JUNK")},
      {"image cut off", ico.substr(0, ico.size() - 1)},
  };
  for (const auto& [what, file] : bad) {
    std::vector<IconImage> images;
    std::string error;
    EXPECT_FALSE(ParseIco(file, images, error)) << what;
    EXPECT_FALSE(error.empty()) << what;
    EXPECT_TRUE(images.empty()) << what;
  }
}

TEST(Picture, KindIsTakenFromTheContent) {
  EXPECT_EQ(SniffPicture(MakeBmp(1, 1)), PictureKind::Bmp);
  EXPECT_EQ(SniffPicture("\x89PNG\r\n\x1A\n...."), PictureKind::Png);
  EXPECT_EQ(SniffPicture("GIF89a..."), PictureKind::Gif);
  EXPECT_EQ(SniffPicture("GIF87a..."), PictureKind::Gif);
  EXPECT_EQ(SniffPicture("\xFF\xD8\xFF\xE0..JFIF"), PictureKind::Jpeg);
  EXPECT_EQ(SniffPicture("<svg/>"), PictureKind::Unknown);
  EXPECT_EQ(SniffPicture(""), PictureKind::Unknown);
}

TEST(Picture, BitmapResourceIsTheFileWithoutItsHeaderAndPixelsRightBehindTheColours) {
  std::string dib, error;
  const std::string bmp = MakeBmp(3, 2);
  ASSERT_TRUE(BmpToResource(bmp, dib, error)) << error;
  EXPECT_EQ(dib, bmp.substr(14));
  // A file with spare bytes before its pixels: the pixels move up to where the system
  // expects them, right after the header.
  const std::string gapped = MakeBmp(3, 2, 0x123456, 10);
  ASSERT_TRUE(BmpToResource(gapped, dib, error)) << error;
  EXPECT_EQ(dib, bmp.substr(14, 40) + gapped.substr(14 + 40 + 10));
  EXPECT_EQ(dib.size(), bmp.size() - 14);
  // 8 bits per pixel with 2 colours used: the table holds 2 entries.
  std::string pal = "BM" + std::string(4, '\0') + std::string(4, '\0') + std::string("\x3E\x00\x00\x00", 4);
  pal += testutil::InfoHeader(4, -1, 8, 2) + std::string("\x01\x02\x03\x00\x04\x05\x06\x00", 8) +
         std::string("\x00\x01\x01\x00", 4);
  ASSERT_TRUE(BmpToResource(pal, dib, error)) << error;
  EXPECT_EQ(dib, pal.substr(14));
}

TEST(Picture, BitmapsTheSystemCannotLoadAreRefused) {
  const std::string bmp = MakeBmp(3, 2);
  auto with = [&](size_t at, const std::string& bytes) {
    std::string f = bmp;
    f.replace(at, bytes.size(), bytes);
    return f;
  };
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"PNG", "\x89PNG\r\n\x1A\n"},
      {"header cut off", bmp.substr(0, 30)},
      {"pixels cut off", bmp.substr(0, bmp.size() - 1)},
      {"pixel offset before the header's end", with(10, std::string("\x20\x00\x00\x00", 4))},
      {"pixel offset beyond the file", with(10, std::string("\xFF\xFF\xFF\x7F", 4))},
      {"width 0", with(18, std::string(4, '\0'))},
      {"height 0", with(22, std::string(4, '\0'))},
      {"two planes", with(26, std::string("\x02\x00", 2))},
      {"JPEG inside", with(30, std::string("\x04\x00\x00\x00", 4))},
      {"7 bits per pixel", with(28, std::string("\x07\x00", 2))},
      {"header size 20", with(14, std::string("\x14\x00\x00\x00", 4))},
      {"more colours than 8 bits allow", with(28, std::string("\x08\x00", 2)).replace(46, 4, std::string("\x01\x01\x00\x00", 4))},
      {"huge width", with(18, std::string("\xFF\xFF\xFF\x7F", 4))},
  };
  for (const auto& [what, file] : bad) {
    std::string dib, error;
    EXPECT_FALSE(BmpToResource(file, dib, error)) << what;
    EXPECT_FALSE(error.empty()) << what;
  }
}

TEST(VersionNumber, OneToFourDottedSixteenBitNumbers) {
  VersionNumber v;
  ASSERT_TRUE(ParseVersionNumber("1", v));
  EXPECT_EQ(v, (VersionNumber{1, 0, 0, 0}));
  ASSERT_TRUE(ParseVersionNumber("2.10.0.65535", v));
  EXPECT_EQ(v, (VersionNumber{2, 10, 0, 65535}));
  ASSERT_TRUE(ParseVersionNumber("007.1", v));
  EXPECT_EQ(v, (VersionNumber{7, 1, 0, 0}));
  for (const char* bad : {"", ".", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "1.99999", "-1", "+1", "1.a", " 1",
                          "1.2 ", "1,2", "v1.2", "000001"})
    EXPECT_FALSE(ParseVersionNumber(bad, v)) << bad;
}

TEST(VersionInfo, TextsAndNumbersReadBackThroughTheNodeStructure) {
  VersionTexts t;
  t.fileVersion = "1.2.3.4";
  t.productName = "Ledger";
  t.company = "Quill & Co";
  t.description = "Ledger desktop";
  t.copyright = plat::Utf16ToAnsi(u"(c) 2024 Quill \u00E9");  // the tool's narrow encoding
  t.originalFilename = "ledger.exe";
  std::string data, error;
  ASSERT_TRUE(BuildVersionInfo(t, data, error)) << error;
  VersionReader r(data);
  ASSERT_TRUE(r.ok);
  const std::string table = "StringFileInfo/040904B0/";
  EXPECT_EQ(r.strings[table + "ProductName"], u"Ledger");
  EXPECT_EQ(r.strings[table + "CompanyName"], u"Quill & Co");
  EXPECT_EQ(r.strings[table + "FileDescription"], u"Ledger desktop");
  EXPECT_EQ(r.strings[table + "LegalCopyright"], u"(c) 2024 Quill \u00E9");
  EXPECT_EQ(r.strings[table + "OriginalFilename"], u"ledger.exe");
  EXPECT_EQ(r.strings[table + "FileVersion"], u"1.2.3.4");
  EXPECT_EQ(r.strings[table + "ProductVersion"], u"1.2.3.4") << "the product version defaults to the file version";
  ASSERT_EQ(r.fixed.size(), 52u);
  EXPECT_EQ(r.Fixed(0), 0xFEEF04BDu);
  EXPECT_EQ(r.Fixed(2), 0x00010002u);
  EXPECT_EQ(r.Fixed(3), 0x00030004u);
  EXPECT_EQ(r.Fixed(4), 0x00010002u);
  EXPECT_EQ(r.Fixed(5), 0x00030004u);
  EXPECT_EQ(r.Fixed(9), 1u) << "an application";
}

TEST(VersionInfo, BadOrOversizedInputIsRefused) {
  std::string data, error;
  VersionTexts t;
  t.productVersion = "1.2.x";
  EXPECT_FALSE(BuildVersionInfo(t, data, error));
  EXPECT_NE(error.find("--product-version"), std::string::npos) << error;
  t.productVersion = "1.2";
  t.description = std::string(40000, 'd');
  EXPECT_FALSE(BuildVersionInfo(t, data, error));
}

TEST(StringBlock, DecodesWhatItEncodesAndRefusesCutOffData) {
  StringBlock block;
  block[1] = u"Java Runtime Environment not found.";
  block[15] = u"last";
  const std::string data = EncodeStringBlock(block);
  StringBlock back;
  ASSERT_TRUE(DecodeStringBlock(data, back));
  EXPECT_EQ(back, block);
  EXPECT_FALSE(DecodeStringBlock(data.substr(0, data.size() - 1), back));
  EXPECT_FALSE(DecodeStringBlock(std::string("\xFF\xFF", 2), back));
}

TEST(MessageOption, NumberEqualsTextWithTheLaunchersEscapes) {
  MessageText m;
  std::string error;
  ASSERT_TRUE(ParseMessageOption("7=Main class missing.\\nAsk \\\"support\\\"\\tnow\\\\\\", m, error)) << error;
  EXPECT_EQ(m.id, 7);
  EXPECT_EQ(m.text, u"Main class missing.\nAsk \"support\"\tnow\\");
  ASSERT_TRUE(ParseMessageOption("10=a=b", m, error));
  EXPECT_EQ(m.text, u"a=b");
  ASSERT_TRUE(ParseMessageOption("65535=", m, error));
  EXPECT_EQ(m.id, 65535);
  EXPECT_TRUE(m.text.empty());
  for (const char* bad : {"7", "=text", "x=1", "0=zero", "-1=a", "65536=a", "123456=a", " 7=a"})
    EXPECT_FALSE(ParseMessageOption(bad, m, error)) << bad;
}

TEST(XmlCheck, ManifestsThatAreWellFormedPass) {
  std::string root, error;
  const char* manifest =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<!-- application manifest -->\n"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion='1.0'>\n"
      "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>\n"
      "    <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\n"
      "  </requestedPrivileges></security></trustInfo>\n"
      "  <description>Tom &amp; Jerry &#169; &#xA9;<![CDATA[ <raw> & ]]></description>\n"
      "  <?custom instruction?>\n"
      "</assembly>\n<!-- trailing -->\n";
  ASSERT_TRUE(CheckXml(manifest, root, error)) << error;
  EXPECT_EQ(root, "assembly");
  ASSERT_TRUE(CheckXml("<asmv1:assembly xmlns:asmv1='x'/>", root, error)) << error;
  EXPECT_EQ(root, "asmv1:assembly");
}

TEST(XmlCheck, TextsThatAreNotXmlFailWithTheirLine) {
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"plain text", "this is not xml"},
      {"empty", ""},
      {"unclosed", "<a><b></b>"},
      {"mismatched", "<a>\n<b>\n</a></b>"},
      {"unquoted attribute", "<a x=1/>"},
      {"attribute without value", "<a x/>"},
      {"attributes run together", "<a x='1'y='2'/>"},
      {"two roots", "<a/><b/>"},
      {"text after the root", "<a/>junk"},
      {"bare ampersand", "<a>Tom & Jerry</a>"},
      {"bad character reference", "<a>&#xZZ;</a>"},
      {"lt in attribute", "<a x='<'/>"},
      {"double dash in comment", "<a><!-- a -- b --></a>"},
      {"unterminated comment", "<a><!-- </a>"},
      {"stray end tag", "</a>"},
      {"doctype", "<!DOCTYPE a><a/>"},
      {"UTF-16", std::string("<\0a\0/\0>\0", 8)},
      {"deep nesting", [] { std::string s; for (int i = 0; i < 100000; ++i) s += "<a>"; return s; }()},
  };
  for (const auto& [what, text] : bad) {
    std::string root, error;
    EXPECT_FALSE(CheckXml(text, root, error)) << what;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << what << ": " << error;
  }
  std::string root, error;
  EXPECT_FALSE(CheckXml("<a>\n<b>\n</a></b>", root, error));
  EXPECT_EQ(error.rfind("line 3:", 0), 0u) << error;
}
