#include "zip/Mask.h"

#include <gtest/gtest.h>

namespace {

struct MaskCase {
  const char* label;
  std::string name;
  std::string mask;
  bool expected;
};

class MaskTest : public testing::TestWithParam<MaskCase> {};

TEST_P(MaskTest, Selects) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(zip::matchesMask(c.name, c.mask), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskTest,
    testing::Values(MaskCase{"StarFile", "a.txt", "*", true},
                    MaskCase{"StarDeepFile", "dir/sub/a.txt", "*", true},
                    MaskCase{"StarDirectory", "dir/", "*", true},
                    MaskCase{"StarBackslashDirectory", "dir\\sub\\", "*", true},
                    MaskCase{"StarEmptyName", "", "*", false},
                    MaskCase{"StarOnlySeparator", "/", "*", false},
                    MaskCase{"StarEmptyLastElement", "dir//", "*", false},
                    MaskCase{"ExtensionAnyCase", "dir/A.TXT", "*.txt", true},
                    MaskCase{"DirectoriesNotCompared", "dir.txt/a.bin", "*.txt", false},
                    MaskCase{"QuestionMark", "a.txt", "?.txt", true},
                    MaskCase{"QuestionMarkOneCharacter", "ab.txt", "?.txt", false},
                    MaskCase{"QuestionMarkUtf8", "\xC3\xA9.txt", "?.txt", true},
                    MaskCase{"WithDirectory", "dir/a.txt", "dir/*", true},
                    MaskCase{"WithDirectorySeparatorsAlike", "dir\\a.txt", "DIR/*.TXT", true},
                    MaskCase{"WithOtherDirectory", "other/a.txt", "dir/*", false},
                    MaskCase{"ManyStarsNoMatch", std::string(60, 'a') + "b", "*a*a*a*a*a*a*a*a*c",
                             false}),
    [](const testing::TestParamInfo<MaskCase>& row) { return row.param.label; });

}  // namespace
