#include "zip/TargetPath.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
  const char* label;
  std::string name;
  const char* expected;  // elements joined by "|"; nullptr when refused
};

class TargetPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(TargetPathTest, ConfinesToTheBaseDirectory) {
  const PathCase& c = GetParam();
  const auto elements = zip::confinedPath(c.name);
  if (c.expected == nullptr) {
    EXPECT_FALSE(elements);
    return;
  }
  ASSERT_TRUE(elements);
  std::string joined;
  for (const std::string& element : *elements) joined += (joined.empty() ? "" : "|") + element;
  EXPECT_EQ(joined, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TargetPathTest,
    testing::Values(
        PathCase{"Plain", "a.txt", "a.txt"}, PathCase{"Nested", "dir/sub/a.txt", "dir|sub|a.txt"},
        PathCase{"Backslashes", "dir\\sub\\a.txt", "dir|sub|a.txt"},
        PathCase{"Mixed", "dir\\sub/a.txt", "dir|sub|a.txt"},
        PathCase{"DirectoryEntry", "dir/", "dir"},
        PathCase{"DirectoryEntryBackslash", "dir\\", "dir"},
        PathCase{"DotElements", "./a/./b", "a|b"}, PathCase{"DotDotInside", "a/../b", "b"},
        PathCase{"ThreeDots", "...", "..."}, PathCase{"DotDotOut", "../a", nullptr},
        PathCase{"DotDotOutLater", "a/../../b", nullptr},
        PathCase{"DotDotBackslashOut", "a\\..\\..\\b", nullptr},
        PathCase{"Absolute", "/etc/passwd", nullptr},
        PathCase{"AbsoluteBackslash", "\\Windows\\x", nullptr},
        PathCase{"DriveAbsolute", "C:/x", nullptr}, PathCase{"DriveRelative", "C:x", nullptr},
        PathCase{"ColonInside", "a/b:stream", nullptr},
        PathCase{"Unc", "\\\\server\\share\\x", nullptr}, PathCase{"DoubledSlash", "a//b", nullptr},
        PathCase{"DoubledBackslash", "a\\\\b", nullptr},
        PathCase{"DoubledTrailing", "dir//", nullptr}, PathCase{"Empty", "", nullptr},
        PathCase{"OnlySeparator", "/", nullptr}, PathCase{"OnlyDotIsTheBase", ".", ""},
        PathCase{"BackToTheBase", "a/..", ""}, PathCase{"DotSlashIsTheBase", "./", ""}),
    [](const testing::TestParamInfo<PathCase>& row) { return row.param.label; });

}  // namespace
