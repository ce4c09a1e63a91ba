// The one Unicode codec: well-formed text round-trips, and each ill-formed piece becomes one
// U+FFFD by the rule its header states (maximal subparts for UTF-8), never an error.
#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::ByteOrder;
using platform::decodeUtf16;
using platform::decodeUtf8;
using platform::encodeUtf8;
using platform::isValidUtf8;

struct Utf8Case {
  const char* name;
  std::string bytes;
  std::u16string decoded;
};

class Utf8Decoding : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, GivesOneReplacementPerMaximalSubpart) {
  const Utf8Case& c = GetParam();
  EXPECT_EQ(decodeUtf8(c.bytes), c.decoded);
  EXPECT_EQ(isValidUtf8(c.bytes), c.decoded.find(u'\uFFFD') == std::u16string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Unicode, Utf8Decoding,
    testing::Values(Utf8Case{"Empty", "", u""},
                    Utf8Case{"AsciiAndNul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                    Utf8Case{"EveryLength", "\x41\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80",
                             u"A\u00F1\u20AC\U0001F600"},
                    Utf8Case{"LargestCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
                    Utf8Case{"StrayContinuation",
                             "a\x80"
                             "b",
                             u"a\uFFFDb"},
                    Utf8Case{"NeverALead", "\xC0\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"AboveTheLast", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"CutByTheEnd", "a\xE2\x82", u"a\uFFFD"},
                    Utf8Case{"CutByANewSequence",
                             "\xF0\x9F\x98"
                             "A",
                             u"\uFFFDA"}),
    [](const testing::TestParamInfo<Utf8Case>& row) { return row.param.name; });

TEST(Unicode, Utf16DecodesPairsAndReplacesLoneSurrogatesAndAnOddByte) {
  // "a", U+1F600 as a pair, a lone low surrogate, a lone high one before "b", an odd last byte.
  const std::string little(
      "a\0\x3D\xD8\x00\xDE\x00\xDC\x3D\xD8"
      "b\0\x7F",
      13);
  EXPECT_EQ(decodeUtf16(little, ByteOrder::LittleEndian), u"a\U0001F600\uFFFD\uFFFDb\uFFFD");
  const std::string big("\0a\xD8\x3D\xDE\x00", 6);
  EXPECT_EQ(decodeUtf16(big, ByteOrder::BigEndian), u"a\U0001F600");
}

TEST(Unicode, EncodingGivesUtf8AndReplacesLoneSurrogates) {
  const std::u16string text = u"A\u00F1\u20AC\U0001F600";
  EXPECT_EQ(encodeUtf8(text), "\x41\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(decodeUtf8(encodeUtf8(text)), text);
  // A high surrogate at the end, a low one alone, and one high before another high.
  const std::u16string lone{u'a',
                            char16_t(0xDC00),
                            char16_t(0xD83D),
                            char16_t(0xD83D),
                            char16_t(0xDE00),
                            char16_t(0xD800)};
  EXPECT_EQ(encodeUtf8(lone), "a\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

}  // namespace
