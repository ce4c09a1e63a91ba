// decodeHdPhoto as every system's decoder must give it: the reduction for `largest`, the
// bitmap budget and the refusals, on fixtures made at build time (HdPhotoFixtures.cmake), so
// that the same rows run with libjxr on Linux and with the system's decoder under Wine.
#include "branding/HdPhotoImage.h"
#include "tests/branding/PixelSamples.h"
#include "tests/support/RunningUnderCi.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace branding {
namespace {

const QSize kAnySize{4096, 4096};
constexpr qsizetype kAnyBudget = std::numeric_limits<qsizetype>::max();

QByteArray fixture(const char* name) {
  QFile file(QStringLiteral(HD_PHOTO_FIXTURES "/") + QLatin1String(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#define REQUIRE_FIXTURE(data, name) \
  if (!(data).isEmpty()) {          \
  } else                            \
    UPDATER_SKIP_OR_FAIL_UNDER_CI() << (name) << " was not made (needs convert and JxrEncApp)"

// Wine's decoder leaves the alpha of every pixel 0, where Windows decodes it: under Wine the
// colours are checked and the alpha is not.
bool decoderGivesAlpha() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
#else
  return true;
#endif
}

TEST(HdPhotoImage, RecognisedByTheContainerSignature) {
  const std::pair<QByteArray, bool> rows[] = {
      {QByteArray("II\xBC\x00", 4), true},  {QByteArray("II\xBC\x01", 4), true},
      {QByteArray("II\xBC\x02", 4), false}, {QByteArray("II*\x00", 4), false},
      {QByteArray("II\xBC", 3), false},
  };
  for (const auto& [data, expected] : rows)
    EXPECT_EQ(isHdPhoto(data), expected) << data.toHex().toStdString();
}

using brandingtest::Samples;

struct DecodeCase {
  const char* name;
  const char* file;
  QSize largest;
  QSize size;
  Samples samples;
  int tolerance;  // per channel
};

void PrintTo(const DecodeCase& row, std::ostream* out) {
  *out << row.name;
}

class DecodesHdPhoto : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodesHdPhoto, BySizeAndColours) {
  const DecodeCase& row = GetParam();
  const QByteArray data = fixture(row.file);
  REQUIRE_FIXTURE(data, row.file);
  const QImage image = decodeHdPhoto(data, row.largest, kAnyBudget);
  ASSERT_EQ(image.size(), row.size);
  brandingtest::expectSamples(image, row.samples, row.tolerance, decoderGivesAlpha());
}

// Every block of the 40 x 30 pattern (make_hd_photo_fixtures.sh), and its first columns.
Samples patternSamples(int alpha = 255) {
  const QRgb red = qRgba(255, 0, 0, alpha), blue = qRgba(0, 0, 255, alpha);
  const QRgb lime = qRgba(0, 255, 0, alpha), white = qRgba(255, 255, 255, alpha);
  return {{{0, 15}, red},  {{1, 15}, red},  {{5, 25}, red},   {{15, 15}, blue},
          {{25, 6}, lime}, {{25, 23}, red}, {{35, 23}, white}};
}

// The pattern at a quarter of its size: each pixel is a 4 x 4 block of one colour.
const Samples kQuarterPattern{{{0, 4}, qRgb(255, 0, 0)},
                              {{3, 4}, qRgb(0, 0, 255)},
                              {{6, 1}, qRgb(0, 255, 0)},
                              {{8, 6}, qRgb(255, 255, 255)}};

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DecodesHdPhoto,
    ::testing::Values(
        DecodeCase{"Colour", "pattern.jxr", kAnySize, {40, 30}, patternSamples(), 2},
        DecodeCase{"HalfOpaque", "alpha.jxr", kAnySize, {40, 30}, patternSamples(128), 2},
        DecodeCase{"Grey",
                   "grey.jxr",
                   kAnySize,
                   {40, 30},
                   {{{1, 15}, qRgb(51, 51, 51)}, {{15, 15}, qRgb(204, 204, 204)}},
                   2},
        // Shown at 21 x 15: half the size would be smaller.
        DecodeCase{"NotHalvedBelowTheShownSize", "pattern.jxr", {21, 16}, {40, 30}, {}, 0},
        // Shown at 20 x 15, just what half the size is; a quarter would be smaller.
        DecodeCase{"HalvedToTheShownSize",
                   "pattern.jxr",
                   {20, 15},
                   {20, 15},
                   {{{2, 7}, qRgb(255, 0, 0)},
                    {{7, 7}, qRgb(0, 0, 255)},
                    {{12, 3}, qRgb(0, 255, 0)},
                    {{17, 11}, qRgb(255, 255, 255)}},
                   8},
        // Shown at 10 x 7: a quarter (10 x 8) is still as large, an eighth is not.
        DecodeCase{"QuarteredAsFarAsItStaysAsLarge",
                   "pattern.jxr",
                   {10, 10},
                   {10, 8},
                   kQuarterPattern,
                   8}),
    [](const auto& row) { return std::string(row.param.name); });

struct BudgetCase {
  const char* name;
  QSize largest;
  qsizetype maxBitmapBytes;
  QSize size;  // 0 x 0, a null image's: refused
};

void PrintTo(const BudgetCase& row, std::ostream* out) {
  *out << row.name;
}

class KeepsToTheBitmapBudget : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(KeepsToTheBitmapBudget, DecodesWithinItAndRefusesBeyondIt) {
  const BudgetCase& row = GetParam();
  const QByteArray data = fixture("pattern.jxr");
  REQUIRE_FIXTURE(data, "pattern.jxr");
  EXPECT_EQ(decodeHdPhoto(data, row.largest, row.maxBitmapBytes).size(), row.size);
}

#ifdef _WIN32
// The system's decoder holds the whole frame, however small the picture asked of it.
const QSize kReducedWithinTheBudget{0, 0};
#else
const QSize kReducedWithinTheBudget{10, 8};
#endif

// The 40 x 30 pattern takes 4800 bytes at 4 bytes a pixel.
INSTANTIATE_TEST_SUITE_P(
    PatternOf4800Bytes, KeepsToTheBitmapBudget,
    ::testing::Values(BudgetCase{"WholeBitmapJustFits", kAnySize, 4800, {40, 30}},
                      BudgetCase{"OneByteShort", kAnySize, 4799, {0, 0}},
                      BudgetCase{
                          "QuarterBitmapFits", {10, 10}, 10 * 8 * 4, kReducedWithinTheBudget}),
    [](const auto& row) { return std::string(row.param.name); });

// The pattern with its codestream's declared width and height (its short header holds each,
// minus one, in 16 bits).
QByteArray declaringSize(QByteArray bytes, quint16 width, quint16 height) {
  const qsizetype at = bytes.indexOf(QByteArray("WMPHOTO\0", 8));
  if (at < 0 || !(static_cast<unsigned char>(bytes[at + 10]) & 0x80)) return {};
  qToBigEndian<quint16>(width - 1, bytes.data() + at + 12);
  qToBigEndian<quint16>(height - 1, bytes.data() + at + 14);
  return bytes;
}

// The pattern with its horizontal resolution entry turned into a text (the image's
// description) of count bytes at offset 8: a decoder that trusts the count allocates it first.
QByteArray withDescriptionOf(QByteArray bytes, quint32 count) {
  const quint32 directory = qFromLittleEndian<quint32>(bytes.constData() + 4);
  if (directory + 2 > static_cast<quint32>(bytes.size())) return {};
  const quint16 entries = qFromLittleEndian<quint16>(bytes.constData() + directory);
  for (qsizetype entry = directory + 2;
       entry + 12 <= bytes.size() && entry < directory + 2 + qsizetype{12} * entries; entry += 12) {
    if (qFromLittleEndian<quint16>(bytes.constData() + entry) != 0xBC82) continue;
    qToLittleEndian<quint16>(0x010E, bytes.data() + entry);  // image description
    qToLittleEndian<quint16>(2, bytes.data() + entry + 2);   // ASCII
    qToLittleEndian<quint32>(count, bytes.data() + entry + 4);
    qToLittleEndian<quint32>(8, bytes.data() + entry + 8);
    return bytes;
  }
  return {};
}

QByteArray randomAfter(const QByteArray& prefix, qsizetype length) {
  std::mt19937 random(7);
  QByteArray bytes = prefix;
  while (bytes.size() < length) bytes.append(static_cast<char>(random()));
  return bytes;
}

struct RefusalCase {
  const char* name;
  std::function<QByteArray(const QByteArray& pattern)> data;
};

void PrintTo(const RefusalCase& row, std::ostream* out) {
  *out << row.name;
}

class RefusesHdPhoto : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusesHdPhoto, WithANullImage) {
  const QByteArray pattern = fixture("pattern.jxr");
  REQUIRE_FIXTURE(pattern, "pattern.jxr");
  const QByteArray data = GetParam().data(pattern);
  ASSERT_FALSE(data.isEmpty()) << "the pattern is not as the test expects";
  EXPECT_TRUE(decodeHdPhoto(data, kAnySize, kAnyBudget).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, RefusesHdPhoto,
    ::testing::Values(
        RefusalCase{"NotHdPhoto",
                    [](const QByteArray&) { return QByteArray("\x89PNG\r\n\x1a\n0123456789"); }},
        RefusalCase{"SignatureAlone",
                    [](const QByteArray&) { return QByteArray("II\xBC\x01", 4); }},
        RefusalCase{
            "RandomAfterTheSignature",
            [](const QByteArray&) { return randomAfter(QByteArray("II\xBC\x01", 4), 3000); }},
        RefusalCase{"CodestreamSignatureDamaged",
                    [](QByteArray bytes) {
                      const qsizetype at = bytes.indexOf("WMPHOTO");
                      if (at >= 0) bytes[at + 6] = 'X';
                      return at >= 0 ? bytes : QByteArray();
                    }},
        RefusalCase{"CutInsideTheCodestreamHeader",
                    [](const QByteArray& bytes) {
                      const qsizetype at = bytes.indexOf("WMPHOTO");
                      return at >= 0 ? bytes.left(at + 12) : QByteArray();
                    }},
        RefusalCase{"DescriptionOf3GiB",
                    [](const QByteArray& bytes) { return withDescriptionOf(bytes, 0xC0000000); }},
        // 4 gigapixels in 1749 bytes: refused from the header, not decoded for minutes.
        RefusalCase{"FarMorePixelsThanItsDataHolds",
                    [](const QByteArray& bytes) { return declaringSize(bytes, 65535, 65535); }}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace branding
