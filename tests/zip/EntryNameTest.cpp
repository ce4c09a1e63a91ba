#include "zip/EntryName.h"

#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include "tests/support/ZipBuilder.h"

namespace {

using platform::CodePage;

const zip::CodePages westernPages{CodePage::Windows1252, CodePage::Oem850};

struct NameCase {
  const char* label;
  std::string raw;
  uint16_t flags;
  uint8_t host;
  std::string extra;
  std::string expected;  // UTF-8; empty for a name that is refused
};

class EntryNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(EntryNameTest, DecodesAsTheFlagsHostAndBytesSay) {
  const NameCase& c = GetParam();
  EXPECT_EQ(zip::decodeEntryName(c.raw, c.flags, c.host, c.extra, westernPages), c.expected);
}

const std::string unicodeField =
    testsupport::unicodePathField("caf\x82.txt", "caf\xC3\xA9-unicode.txt");

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNameTest,
    testing::Values(
        NameCase{"Ascii", "dir/file.txt", 0, 3, "", "dir/file.txt"},
        NameCase{"Utf8Flag", "caf\xC3\xA9", 0x0800, 0, "", "caf\xC3\xA9"},
        NameCase{"Utf8FlagButInvalid", "caf\xE9", 0x0800, 0, "", ""},
        NameCase{"ValidUtf8WithoutFlag",
                 "\xC3\xBC"
                 "ber",
                 0, 0, "",
                 "\xC3\xBC"
                 "ber"},
        // 0xE9 has a character in both pages: ANSI wins for a Unix entry...
        NameCase{"AnsiOnUnixHost", "caf\xE9", 0, 3, "", "caf\xC3\xA9"},
        // ...and OEM for an MS-DOS one, where 0x82 is "é".
        NameCase{"OemOnDosHost", "caf\x82", 0, 0, "", "caf\xC3\xA9"},
        // 0x81 has no character in 1252 but is "ü" in 850.
        NameCase{"FitsOemOnly",
                 "\x81"
                 "ber",
                 0, 3, "",
                 "\xC3\xBC"
                 "ber"},
        NameCase{"OverlongIsNotUtf8", "\xC0\xAF", 0, 3, "", "\xC3\x80\xC2\xAF"},
        NameCase{"UnicodePathField", "caf\x82.txt", 0, 0, unicodeField, "caf\xC3\xA9-unicode.txt"},
        NameCase{"UnicodePathFieldForAnotherName", "cafe\x82.txt", 0, 0, unicodeField,
                 "cafe\xC3\xA9.txt"},
        NameCase{"UnicodePathFieldForEscapedAscii", "#U00e9.txt", 0, 3,
                 testsupport::unicodePathField("#U00e9.txt", "\xC3\xA9.txt"), "\xC3\xA9.txt"},
        NameCase{"NulByte", std::string("a\0b", 3), 0, 0, "", ""}),
    [](const testing::TestParamInfo<NameCase>& row) { return row.param.label; });

TEST(Utf8Validation, RefusesWhatIsNotStrictUtf8) {
  EXPECT_TRUE(platform::isValidUtf8("plain"));
  EXPECT_TRUE(platform::isValidUtf8("\xF0\x9F\x98\x80"));   // U+1F600
  EXPECT_FALSE(platform::isValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(platform::isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(platform::isValidUtf8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(platform::isValidUtf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(platform::isValidUtf8("\x80"));              // a lone continuation byte
}

}  // namespace
