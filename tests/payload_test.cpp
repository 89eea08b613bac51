#include <gtest/gtest.h>

#include <cstring>

#include "payload/payload.h"
#include "support/payload_builder.h"

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
uint32_t Size(const std::string& s) { return static_cast<uint32_t>(s.size()); }

struct Located {
  int32_t start;
  std::string text;
};

Located Locate(const std::string& file, uint32_t archiveLength) {
  Located r{ArchiveStartOffset(Bytes(file), Size(file), archiveLength), {}};
  std::string_view text;
  if (EmbeddedTextBlock(Bytes(file), Size(file), r.start, text)) r.text = std::string(text);
  return r;
}

}  // namespace

TEST(EndRecordWindow, IsAHundredthOfTheFileButAtLeast51200) {
  EXPECT_EQ(EndRecordWindow(2832263), 51200u);
  EXPECT_EQ(EndRecordWindow(10000000), 100000u);
  EXPECT_EQ(EndRecordWindow(0), 51200u);
}

TEST(LocatePayload, TrailingBytesDoNotMoveTheArchive) {
  const std::string image(5000, 'I'), zip = testutil::EmptyZip(), text = "\xEF\xBB\xBFmainclass a.B\r\n";
  const int32_t expected = static_cast<int32_t>(image.size() + text.size() + 1 + 4 + 16);
  for (size_t trailing : {0, 1, 300, 50000}) {
    SCOPED_TRACE(trailing);
    Located r = Locate(testutil::PayloadFile(image, text, zip, std::string(trailing, 'x')), Size(zip));
    EXPECT_EQ(r.start, expected);
    EXPECT_EQ(r.text, text + std::string(1, '\0'));
  }
}

TEST(LocatePayload, LastSignatureInTheWindowWins) {
  // A signature inside the trailing bytes is taken as the end record: R counts only the
  // bytes after it, so the computed start moves up by the bytes in front of it.
  const std::string zip = testutil::EmptyZip();
  const std::string trailing = std::string("junk") + "PK\x05\x06" + std::string(40, 'y');
  std::string file = testutil::PayloadFile(std::string(100, 'I'), "k v", zip, trailing);
  EXPECT_EQ(FindTrailingLength(Bytes(file), Size(file)), 22u);
  EXPECT_EQ(ArchiveStartOffset(Bytes(file), Size(file), Size(zip)), int32_t(Size(file) - 22 - Size(zip)));
}

TEST(LocatePayload, SignatureOutsideTheWindowIsNotSeen) {
  std::string zip = testutil::EmptyZip();
  std::string file = testutil::PayloadFile(std::string(100, 'I'), "x", zip, std::string(60000, 't'));
  EXPECT_EQ(FindTrailingLength(Bytes(file), Size(file)), 0u);
}

TEST(LocatePayload, HostileLengthsAreRejected) {
  std::string zip = testutil::EmptyZip();
  std::string file = testutil::PayloadFile(std::string(64, 'I'), "k v", zip);
  EXPECT_EQ(ArchiveStartOffset(Bytes(file), Size(file), 0), -1) << "a bare stub has no payload";
  EXPECT_EQ(ArchiveStartOffset(Bytes(file), Size(file), Size(file) + 1), -1);
  EXPECT_EQ(ArchiveStartOffset(Bytes(file), Size(file), 0xFFFFFFFFu), -1);
  EXPECT_EQ(ArchiveStartOffset(Bytes(file), Size(file), Size(file) - 10), -1) << "no room for T and builder block";

  // A text length that reaches before the start of the file.
  std::string bad = file;
  size_t tAt = 64 + 4;
  uint32_t huge = 0x7FFFFFF0;
  std::memcpy(&bad[tAt], &huge, 4);
  std::string_view text;
  int32_t start = ArchiveStartOffset(Bytes(bad), Size(bad), Size(zip));
  ASSERT_GT(start, 0);
  EXPECT_FALSE(EmbeddedTextBlock(Bytes(bad), Size(bad), start, text));
  EXPECT_FALSE(EmbeddedTextBlock(Bytes(bad), Size(bad), -1, text));
  EXPECT_FALSE(EmbeddedTextBlock(Bytes(bad), Size(bad), static_cast<int32_t>(Size(bad) + 5), text));

  std::string tiny = "PK\x05\x06";
  EXPECT_EQ(FindTrailingLength(Bytes(tiny), Size(tiny)), 0u);
}

TEST(LocatePayload, ZeroByteTextBlockGivesEmptyText) {
  std::string zip = testutil::EmptyZip();
  std::string file = std::string(50, 'I');
  testutil::PutLe32(file, 0);
  file += std::string(16, 'B') + zip;
  Located r = Locate(file, Size(zip));
  EXPECT_EQ(r.start, 70);
  EXPECT_EQ(r.text, "");
}

TEST(RecordEcho, ControlBytesShowAsDotsAndALineEnds) {
  const volatile unsigned char record[22] = {0x34, 0x12, 0, 0, 0, 0, 0, 0, 'P', 'L', 'B', '~', 'P',
                                             'A', 'Y', 'L', 'O', 'A', 'D', '~', '1', 0};
  EXPECT_EQ(RecordEcho(record), "4.......PLB~PAYLOAD~1.\n");
  EXPECT_EQ(RecordEcho(plb_payload_record).size(), 23u);
}

// The layout flag is read only from plumbox's own builder block, and only inside the file.
TEST(BuilderBlock, FlatFlagNeedsTheMagicAndRoom) {
  std::string file = std::string(100, 'x') + "PLUMBOX\x1A" + std::string("\x01\x00\x01\x00", 4) + std::string(4, '\0') + "PK";
  auto bytes = reinterpret_cast<const uint8_t*>(file.data());
  auto size = static_cast<uint32_t>(file.size());
  EXPECT_TRUE(BuilderSaysFlat(bytes, size, 116));
  EXPECT_FALSE(BuilderSaysFlat(bytes, size, 117));  // another block: no magic
  file[110] = 0;                                   // flags 0: nested
  EXPECT_FALSE(BuilderSaysFlat(bytes, size, 116));
  EXPECT_FALSE(BuilderSaysFlat(bytes, size, 15));   // no room for a block
  EXPECT_FALSE(BuilderSaysFlat(bytes, size, -1));
  EXPECT_FALSE(BuilderSaysFlat(bytes, 110, 116));   // beyond the file
}
