#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::CodePage;

struct DecodeCase {
  const char* name;
  std::string bytes;
  CodePage page;
  std::u16string text;
  bool fits;
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesAndJudgesFit) {
  const auto& row = GetParam();
  EXPECT_EQ(platform::decode(row.bytes, row.page), row.text);
  EXPECT_EQ(platform::fitsCodePage(row.bytes, row.page), row.fits);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage, DecodeTest,
    testing::Values(
        DecodeCase{"Empty", "", CodePage::Windows1252, u"", true},
        DecodeCase{"AsciiIn1252", "Readme 2.txt", CodePage::Windows1252, u"Readme 2.txt", true},
        // Control bytes stay controls: Windows shows no glyphs for them in 850 either.
        DecodeCase{"AsciiControlsIn850", "\x01\x1F\x7F", CodePage::Oem850, u"\x01\x1F\x7F", true},
        DecodeCase{"AccentsIn1252", "Configuraci\xF3n A\xF1o", CodePage::Windows1252,
                   u"Configuración Año", true},
        DecodeCase{"EuroAndQuotesIn1252", "\x80\x93\x94\xFF", CodePage::Windows1252,
                   u"\u20AC\u201C\u201D\u00FF", true},
        DecodeCase{"UndefinedIn1252BecomeC1", "a\x81\x8D\x8F\x90\x9Dz", CodePage::Windows1252,
                   u"a\u0081\u008D\u008F\u0090\u009Dz", false},
        DecodeCase{"OneUndefinedSpoilsTheFit", "\xE9\x90", CodePage::Windows1252, u"\u00E9\u0090",
                   false},
        DecodeCase{"AccentsIn850", "Configuraci\xA2n A\xA4o", CodePage::Oem850,
                   u"Configuración Año", true},
        // The bytes 1252 leaves undefined are letters in 850.
        DecodeCase{"Bytes1252LacksIn850", "\x81\x8D\x8F\x90\x9D", CodePage::Oem850,
                   u"\u00FC\u00EC\u00C5\u00C9\u00D8", true},
        DecodeCase{"BoxDrawingAndDotlessIIn850", "\xC4\xD5\xFF", CodePage::Oem850,
                   u"\u2500\u0131\u00A0", true}),
    [](const testing::TestParamInfo<DecodeCase>& row) { return std::string(row.param.name); });

TEST(CodePage, SystemCodePagesAreThoseOfWesternWindows) {
  EXPECT_EQ(platform::ansiCodePage(), CodePage::Windows1252);
  EXPECT_EQ(platform::oemCodePage(), CodePage::Oem850);
}

}  // namespace
