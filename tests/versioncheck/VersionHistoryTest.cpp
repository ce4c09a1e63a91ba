// The version history reader: encodings chosen by byte order mark, the replacement of
// ill-formed text, the end at NUL and the line-break rules.
#include "versioncheck/VersionHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace versioncheck {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::u16string>;

struct ReadCase {
  const char* name;
  std::string bytes;
  Lines lines;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.name;
}

class ReadVersionHistoryLines : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadVersionHistoryLines, GivesTheLines) {
  EXPECT_EQ(readVersionHistoryLines(GetParam().bytes), GetParam().lines);
}

std::string caseName(const testing::TestParamInfo<ReadCase>& info) {
  return info.param.name;
}

// UTF-16 code units from ASCII text, for readable fixtures.
std::string utf16le(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}
std::string utf16be(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += std::string{'\0', c};
  return out;
}

const std::string kUtf8Bom = "\xEF\xBB\xBF";
const std::string kLeBom = "\xFF\xFE";
const std::string kBeBom = "\xFE\xFF";

INSTANTIATE_TEST_SUITE_P(
    Encodings, ReadVersionHistoryLines,
    testing::Values(
        ReadCase{"Utf8BomWithAccents",
                 kUtf8Bom + "KUB 2.4.1.7\r\n- Correcci\xC3\xB3n del c\xC3\xA1lculo",
                 {u"KUB 2.4.1.7", u"- Corrección del cálculo"}},
        ReadCase{"Utf8BomAlone", kUtf8Bom, {}},
        ReadCase{"Utf8SecondBomIsText", kUtf8Bom + kUtf8Bom + "a", {u"\uFEFFa"}},
        ReadCase{"Utf8AstralCharacter", kUtf8Bom + "\xF0\x9F\x98\x80", {u"\U0001F600"}},
        ReadCase{"Utf16LeBom", kLeBom + utf16le("KUB 2.4.1.7\r\n- a"), {u"KUB 2.4.1.7", u"- a"}},
        ReadCase{"Utf16BeBom", kBeBom + utf16be("KUB 2.4.1.7\n- a"), {u"KUB 2.4.1.7", u"- a"}},
        ReadCase{"Utf16LeAccentAndPair", kLeBom + "\xF3\x00\x3D\xD8\x00\xDE"s, {u"ó\U0001F600"}},
        ReadCase{"Utf16BeAccent", kBeBom + "\x00\xF3"s, {u"ó"}},
        ReadCase{"Utf16BomAlone", kLeBom, {}}, ReadCase{"Utf16BeBomAlone", kBeBom, {}},
        // Without a mark the bytes are ANSI (Windows-1252 here), whatever they look like.
        ReadCase{"AnsiAccents",
                 "Versi\xF3n 2.4.1.7\n- Correcci\xF3n",
                 {u"Versión 2.4.1.7", u"- Corrección"}},
        ReadCase{"AnsiUnassignedByteIsC1Control", "a\x81", {u"a\u0081"}},
        ReadCase{"AnsiUtf8WithoutBomIsMojibake", "\xC3\xB3", {u"Ã³"}},
        ReadCase{"AnsiBomNotAtStart", "a" + kUtf8Bom, {u"aï»¿"}}),
    caseName);

// Ill-formed input never fails: each bad piece is one U+FFFD and the rest is kept.
INSTANTIATE_TEST_SUITE_P(
    IllFormed, ReadVersionHistoryLines,
    testing::Values(
        ReadCase{"Utf8StrayContinuation", kUtf8Bom + "a\x80z", {u"a\uFFFDz"}},
        ReadCase{
            "Utf8NeverLeadBytes", kUtf8Bom + "\xC0\xC1\xF5\xFF", {u"\uFFFD\uFFFD\uFFFD\uFFFD"}},
        ReadCase{"Utf8Overlong", kUtf8Bom + "\xC0\xAF\xE0\x80\xAF", {std::u16string(5, u'\uFFFD')}},
        ReadCase{"Utf8EncodedSurrogate", kUtf8Bom + "\xED\xA0\x80", {u"\uFFFD\uFFFD\uFFFD"}},
        ReadCase{
            "Utf8AboveMaxCodePoint", kUtf8Bom + "\xF4\x90\x80\x80", {std::u16string(4, u'\uFFFD')}},
        ReadCase{"Utf8TruncatedAtEnd", kUtf8Bom + "a\xE2\x82", {u"a\uFFFD"}},
        ReadCase{"Utf8TruncatedByNewSequence", kUtf8Bom + "\xE2\x82\xC3\xB3", {u"\uFFFDó"}},
        ReadCase{"Utf8TruncatedByLineBreak", kUtf8Bom + "a\xF0\x9F\nb", {u"a\uFFFD", u"b"}},
        ReadCase{"Utf16OddLength", kLeBom + utf16le("ab") + "c", {u"ab\uFFFD"}},
        ReadCase{"Utf16OddLengthOneByte", kBeBom + "c", {u"\uFFFD"}},
        ReadCase{"Utf16LoneHighSurrogate", kLeBom + "\x00\xD8"s + utf16le("a"), {u"\uFFFDa"}},
        ReadCase{"Utf16HighSurrogateAtEnd", kLeBom + utf16le("a") + "\x00\xD8"s, {u"a\uFFFD"}},
        ReadCase{"Utf16LoneLowSurrogate", kBeBom + "\xDC\x00"s + utf16be("a"), {u"\uFFFDa"}},
        ReadCase{
            "Utf16TwoHighSurrogates", kLeBom + "\x00\xD8\x00\xD8\x00\xDC"s, {u"\uFFFD\U00010000"}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    LineBreaks, ReadVersionHistoryLines,
    testing::Values(ReadCase{"Empty", "", {}}, ReadCase{"NoBreak", "a", {u"a"}},
                    ReadCase{"CrLf", "a\r\nb", {u"a", u"b"}}, ReadCase{"Lf", "a\nb", {u"a", u"b"}},
                    ReadCase{"Cr", "a\rb", {u"a", u"b"}},
                    ReadCase{"LfCrIsTwoBreaks", "a\n\rb", {u"a", u"", u"b"}},
                    ReadCase{"CrCrLf", "a\r\r\nb", {u"a", u"", u"b"}},
                    ReadCase{"FinalCrLfAddsNoLine", "a\r\n", {u"a"}},
                    ReadCase{"FinalLfCr", "a\n\r", {u"a", u""}},
                    ReadCase{"BreakAlone", "\n", {u""}},
                    ReadCase{"BlanksKept", " a \t\n  ", {u" a \t", u"  "}},
                    ReadCase{"NulEndsText", "a\nb\0c\nd"s, {u"a", u"b"}},
                    ReadCase{"NulAfterBreak", "a\n\0b"s, {u"a"}}, ReadCase{"NulFirst", "\0a"s, {}},
                    ReadCase{"Utf16NulEndsText",
                             kLeBom + utf16le("a\nb") + "\0\0"s + utf16le("c"),
                             {u"a", u"b"}},
                    ReadCase{"Utf8NulEndsText", kUtf8Bom + "\xC3\xB3\0\xC3\xB3"s, {u"ó"}}),
    caseName);

// A quadratic scan would take hours here; a linear one takes well under a second.
TEST(ReadVersionHistoryLinesSize, HugeInputsStayLinear) {
  const size_t size = size_t{4} * 1024 * 1024;
  const Lines oneLine = readVersionHistoryLines(std::string(size, 'a'));
  ASSERT_EQ(oneLine.size(), 1u);
  EXPECT_EQ(oneLine[0].size(), size);

  const size_t breaks = size / 4;
  EXPECT_EQ(readVersionHistoryLines(kUtf8Bom + std::string(breaks, '\n')).size(), breaks);
}

}  // namespace
}  // namespace versioncheck
