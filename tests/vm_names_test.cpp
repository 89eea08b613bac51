// The text rules of the natives: name forms, resource names, "plb:" URL decoding and the
// stand-in class files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loader/name_forms.h"
#include "runtime/jni_util.h"

namespace {

NameForms Forms(std::u16string_view name) { return MakeNameForms(name); }

TEST(NameForms, OneBytePerUnitAndUtf8WhenTheyDiffer) {
  NameForms ascii = Forms(u"a/b.txt");
  EXPECT_TRUE(ascii.hasA);
  EXPECT_EQ(ascii.a, "a/b.txt");
  EXPECT_FALSE(ascii.hasB);

  NameForms latin = Forms(u"caf\u00e9.txt");
  EXPECT_EQ(latin.a, "caf\xE9.txt");
  EXPECT_TRUE(latin.hasB);
  EXPECT_EQ(latin.b, "caf\xC3\xA9.txt");

  NameForms wide = Forms(u"\u4e2d/\U0001F600.txt");  // no form A beyond U+00FF
  EXPECT_FALSE(wide.hasA);
  EXPECT_TRUE(wide.hasB);
  EXPECT_EQ(wide.b, "\xE4\xB8\xAD/\xF0\x9F\x98\x80.txt");

  NameForms nul = Forms(std::u16string(u"ab\0cd", 5));  // no stored name can match
  EXPECT_FALSE(nul.hasA || nul.hasB);
}

TEST(NameForms, ResourceNamesAreNormalised) {
  EXPECT_EQ(NormaliseResourceName("a/./b/../c.txt"), "a/c.txt");
  EXPECT_EQ(NormaliseResourceName("b/../c"), "c");
  EXPECT_EQ(NormaliseResourceName("x.jar!y/../z"), "x.jar!z");
  EXPECT_EQ(NormaliseResourceName("plb:a/../../b"), "plb:../b");  // never past the scheme
  EXPECT_EQ(NormaliseResourceName("/../a"), "a");
  EXPECT_EQ(NormaliseResourceName("a/./"), "a/");
  EXPECT_EQ(NormaliseResourceName("d/x../y"), "d/x../y");  // not a parent step
  EXPECT_EQ(NormaliseResourceName("a\\..\\b"), "a\\..\\b");  // '\\' is no separator
  EXPECT_EQ(NormaliseResourceName("../a"), "../a");  // no separator in front: left to the registry
}

TEST(NameForms, DecodingGivesTheTextOfEitherForm) {
  EXPECT_EQ(DecodeNameForm("caf\xE9", false), u"caf\u00e9");
  EXPECT_EQ(DecodeNameForm("caf\xC3\xA9", true), u"caf\u00e9");
  EXPECT_EQ(DecodeStoredName("libs/caf\xC3\xA9.jar"), u"libs/caf\u00e9.jar");
  EXPECT_EQ(DecodeStoredName("libs/caf\xE9.jar"), u"libs/caf\u00e9.jar");  // not UTF-8: one unit per byte
  // Either way one of the two forms gives the stored bytes back.
  for (std::string stored : {"caf\xC3\xA9", "caf\xE9", "\xF0\x9F\x98\x80", "\xC3"}) {
    NameForms forms = MakeNameForms(DecodeStoredName(stored));
    EXPECT_TRUE((forms.hasA && forms.a == stored) || (forms.hasB && forms.b == stored)) << stored;
  }
}

TEST(NameForms, Utf8DecodingIsLenient) {
  EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98\x80"), u"a\U0001F600");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\xBD"), std::u16string(1, u'\xD83D'));  // a surrogate as three bytes
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b\xC0\xAF"), u"a?b??");
  EXPECT_EQ(Utf8ToUtf16("ab\xE4\xB8"), u"ab");  // cut off at the end
}

TEST(PlbUrls, PercentDecoding) {
  EXPECT_EQ(PercentDecode("plb:my%20file.txt"), "plb:my file.txt");
  EXPECT_EQ(PercentDecode("plb:a+b%%c"), "plb:a+b%c");  // a path has no '+' for a space
  EXPECT_EQ(PercentDecode("plb:%C3%a9"), "plb:\xC3\xA9");
  EXPECT_EQ(PercentDecode("plb:%4g%zz%2"), "plb:%4g%zz%2");  // only two hexadecimal digits decode
  EXPECT_EQ(PercentDecode("%"), "%");
}

// Paths in URLs are valid URIs, and decoding gives the entry's UTF-8 bytes back.
TEST(PlbUrls, PathsAreEncodedForUris) {
  EXPECT_EQ(EncodeUrlPath(u"libs\\my lib.jar!a/b(1)+c;d=e.txt"), u"libs%5Cmy%20lib.jar%21a/b(1)+c;d=e.txt");
  EXPECT_EQ(EncodeUrlPath(u"100%#?[\u00e9\U0001F600"), u"100%25%23%3F%5B%C3%A9%F0%9F%98%80");
  EXPECT_EQ(EncodeUrlPath(u"\xD800x"), u"%EF%BF%BDx");  // a lone surrogate
  EXPECT_EQ(PercentDecode("plb:100%25%23%3F%5B%C3%A9"), "plb:100%#?[\xC3\xA9");
}

// Every URL path made of stored names leads back to them: '!' only between steps, each step
// decoded once, with the spelling of a name stored one byte per character as well.
TEST(PlbUrls, UrlPathsOfStoredNamesLeadBackToThem) {
  const std::vector<std::string_view> stored = {"libs/a!b+c d.jar", "n\xE9.jar", "x%20y\\z#1?.txt"};
  std::u16string url = StoredPathToUrl(stored);
  EXPECT_EQ(url, u"libs/a%21b+c%20d.jar!n%C3%A9.jar!x%2520y%5Cz%231%3F.txt");
  std::vector<std::vector<std::string>> steps = UrlPathSteps(url);
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0], (std::vector<std::string>{"libs/a!b+c d.jar"}));
  EXPECT_EQ(steps[1], (std::vector<std::string>{"n\xC3\xA9.jar", "n\xE9.jar"}));
  EXPECT_EQ(steps[2], (std::vector<std::string>{"x%20y\\z#1?.txt"}));
  EXPECT_EQ(UrlPathSteps(u"a.jar!d/../x%20y")[1], (std::vector<std::string>{"x y"}));
}

TEST(PlbUrls, SchemeAndClassSuffixIgnoreCase) {
  EXPECT_TRUE(HasPlbScheme("PLB:a/b.txt"));
  EXPECT_FALSE(HasPlbScheme("file:a/b.txt"));
  EXPECT_FALSE(HasPlbScheme("plb"));
  EXPECT_TRUE(EndsWithClass("plb:a/B.CLASS"));
  EXPECT_FALSE(EndsWithClass("plb:a/B.classes"));
}

// Reads a big-endian u16 of a class file.
int U16(const std::string& b, size_t at) {
  return (static_cast<unsigned char>(b[at]) << 8) | static_cast<unsigned char>(b[at + 1]);
}

TEST(PlbUrls, StandInClassFilesNameTheClassOfTheUrl) {
  std::string bytes = FakeClassBytes("plb:libs/a.jar!com/x/Y.class");
  ASSERT_EQ(bytes.size(), 7u + 115u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\xCA\xFE\xBA\xBE\x00\x00\x00\x2E", 8));
  EXPECT_EQ(U16(bytes, 8), 10);                 // constant pool count
  EXPECT_EQ(U16(bytes, 49), 7);                 // #8: the class name's length
  EXPECT_EQ(bytes.substr(51, 7), "com/x/Y");    // and its bytes
  EXPECT_EQ(bytes.substr(58, 3), std::string("\x01\x00\x10", 3));  // #9 "java/lang/Object" follows
  EXPECT_EQ(U16(bytes, 77), 0x21);              // public, super
  EXPECT_EQ(bytes.substr(bytes.size() - 11, 5), std::string("\x2A\xB7\x00\x01\xB1", 5));  // aload_0, invokespecial, return

  EXPECT_EQ(FakeClassBytes("plb:/Top.class").substr(51, 3), "Top");  // one separator after ':' is skipped
  EXPECT_EQ(FakeClassBytes("plb:.class").size(), 115u);
  EXPECT_EQ(FakeClassBytes("plb:" + std::string(70000, 'a') + ".class"), "");  // too long for a class file
}

}  // namespace
