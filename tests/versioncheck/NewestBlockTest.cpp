// The decisions of the check as tables: which lines make the newest block, which version its
// header names, and whether that version offers an update.
#include "versioncheck/NewestBlock.h"
#include "versioncheck/VersionCheckError.h"
#include "versioncheck/VersionText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace versioncheck {
namespace {

using Lines = std::vector<std::u16string>;

template <class Case>
std::string caseName(const testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

struct ScanCase {
  const char* name;
  Lines lines;
  Lines items;
  bool headerFound;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
  *os << c.name;
}

class ScanNewestBlock : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanNewestBlock, FindsTheLastHeaderAndItsChanges) {
  const NewestBlock block = scanNewestBlock(GetParam().lines);
  EXPECT_EQ(block.items, GetParam().items);
  EXPECT_EQ(block.headerFound, GetParam().headerFound);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ScanNewestBlock,
    testing::Values(
        ScanCase{"TwoBlocks",
                 {u"KUB 2.4.1.6", u"- Uno", u"- Dos", u"KUB 2.4.1.7", u"- Tres", u"- Cuatro"},
                 {u"KUB 2.4.1.7", u"- Tres", u"- Cuatro"},
                 true},
        ScanCase{"EmptyLinesBetweenAndAtEnd",
                 {u"KUB 2.4.1.6", u"- Uno", u"", u"KUB 2.4.1.7", u"", u"- Tres", u"", u""},
                 {u"KUB 2.4.1.7", u"- Tres"},
                 true},
        ScanCase{"HeaderOnly", {u"- Uno", u"KUB 2.4.1.7"}, {u"KUB 2.4.1.7"}, true},
        ScanCase{"BlanksKeptAsInFile",
                 {u"  KUB 2.4.1.7 ", u"\t- Tres "},
                 {u"  KUB 2.4.1.7 ", u"\t- Tres "},
                 true},
        // A header with a "-" is a change line: the scan runs on into the block above.
        ScanCase{"HeaderWithDash",
                 {u"KUB 2.4.1.6", u"- Uno", u"KUB 2.4-beta 12-05-2017", u"- Dos"},
                 {u"KUB 2.4.1.6", u"- Uno", u"KUB 2.4-beta 12-05-2017", u"- Dos"},
                 true},
        // A change without a "-" is a header: the scan stops there.
        ScanCase{"ChangeLineWithoutDash",
                 {u"KUB 2.4.1.7", u"- Uno", u"Corregida la impresion", u"- Dos"},
                 {u"Corregida la impresion", u"- Dos"},
                 true},
        ScanCase{"BlankOnlyLastLineIsHeader", {u"KUB 2.4.1.7", u"- Uno", u"   "}, {u"   "}, true},
        // Only U+002D counts: an en dash is text like any other.
        ScanCase{"EnDashIsNoChangeMark", {u"KUB 2.4.1.7", u"\u2013 Uno"}, {u"\u2013 Uno"}, true},
        ScanCase{"NoLines", {}, {}, false}, ScanCase{"OnlyEmptyLines", {u"", u""}, {}, false},
        ScanCase{"EveryLineHasDash", {u"- Uno", u"", u"- Dos"}, {u"- Uno", u"- Dos"}, false}),
    caseName<ScanCase>);

TEST(NoHeaderLineError, CarriesTheMessageUsersKnow) {
  EXPECT_STREQ(NoHeaderLineError().what(), "List index out of bounds (-1)");
}

struct VersionCase {
  const char* name;
  std::u16string header;
  std::u16string installed;
  std::u16string version;  // as shown: untrimmed
  bool offered;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
  *os << c.name;
}

class NewestVersion : public testing::TestWithParam<VersionCase> {};

TEST_P(NewestVersion, IsTakenFromTheHeaderAndComparedTrimmed) {
  const std::u16string version = newestVersionFromHeader(GetParam().header);
  EXPECT_EQ(version, GetParam().version);
  EXPECT_EQ(updateOffered(version, GetParam().installed), GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, NewestVersion,
    testing::Values(
        VersionCase{"Same", u"KUB 2.4.1.7", u"2.4.1.7", u"2.4.1.7", false},
        VersionCase{"Older", u"KUB 2.4.1.7", u"2.4.1.6", u"2.4.1.7", true},
        // Inequality, not ordering: a newer installed version is offered the listed one.
        VersionCase{"Newer", u"KUB 2.4.1.7", u"2.4.1.8", u"2.4.1.7", true},
        VersionCase{"NothingInstalled", u"KUB 2.4.1.7", u"", u"2.4.1.7", true},
        // Compared as text: the same number written otherwise differs.
        VersionCase{"TextNotNumber", u"KUB 2.4.1.07", u"2.4.1.7", u"2.4.1.07", true},
        VersionCase{"CaseSensitive", u"KUB v2", u"V2", u"v2", true},
        VersionCase{"TrailingBlanks", u"KUB 2.4.1.7  ", u"2.4.1.7", u"2.4.1.7  ", false},
        VersionCase{"TrailingTab", u"KUB 2.4.1.7\t", u"2.4.1.7", u"2.4.1.7\t", false},
        VersionCase{"TwoBlanks", u"KUB  2.4.1.7", u"2.4.1.7", u" 2.4.1.7", false},
        VersionCase{"NoLabel", u"2.4.1.7", u"2.4.1.7", u"2.4.1.7", false},
        VersionCase{"ManyWords", u"Version KUB 2.4.1.7", u"2.4.1.7", u"KUB 2.4.1.7", true},
        VersionCase{"InstalledWithControls", u"KUB 2.4.1.7", u"\x01 2.4.1.7\r", u"2.4.1.7", false},
        // Only codes up to U+0020 are trimmed, not every kind of space.
        VersionCase{"NoBreakSpaceNotTrimmed", u"KUB 2.4.1.7\u00A0", u"2.4.1.7", u"2.4.1.7\u00A0",
                    true},
        VersionCase{"BlankLineNothingInstalled", u"   ", u"", u"  ", false},
        VersionCase{"BlankLineSomethingInstalled", u"   ", u"2.4.1.7", u"  ", true}),
    caseName<VersionCase>);

}  // namespace
}  // namespace versioncheck
