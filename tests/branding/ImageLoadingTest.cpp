// Image decoding by content: fixtures of every accepted format made at test time by ImageMagick
// and libjxr's encoder, and hostile data (random bytes, truncated files, zero and huge declared
// sizes) that must end in "Loading bitmap failed." or a bounded picture, within bounded memory.
#include "branding/ImageLoading.h"
#include "tests/branding/PixelSamples.h"
#include "tests/support/FixedResources.h"
#include "tests/support/RequiredTools.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>

namespace branding {
namespace {

QByteArray png(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

QImage decode(const QByteArray& data) {
  testsupport::FixedImageStream stream(data, 0);
  return decodeImageStream(stream);
}

TEST(ImageLoading, StreamAtItsEndIsReadWholeFromItsStart) {
  const QByteArray data = png(25, 25);
  testsupport::FixedImageStream stream(data, static_cast<uint64_t>(data.size()));
  EXPECT_EQ(decodeImageStream(stream).size(), QSize(25, 25));
}

TEST(ImageLoading, ReadsFromTheCurrentPosition) {
  const QByteArray data = QByteArray("junk") + png(3, 2);
  testsupport::FixedImageStream stream(data, 4);
  EXPECT_EQ(decodeImageStream(stream).size(), QSize(3, 2));
}

TEST(ImageLoading, EmptyStreamGivesNoPictureAndNoError) {
  testsupport::FixedImageStream stream({}, 0);
  EXPECT_TRUE(decodeImageStream(stream).isNull());
}

TEST(ImageLoading, UndecodableDataFails) {
  for (const QByteArray& data : {QByteArray("<html>not an image</html>"), png(4, 4).left(30)}) {
    testsupport::FixedImageStream stream(data, 0);
    EXPECT_THROW(decodeImageStream(stream), LoadingBitmapError);
  }
}

// --- Fixtures made by Debian's tools -------------------------------------------------------

// A missing tool skips on a developer's machine and fails in CI, where it must be installed.
#define REQUIRE_FIXTURE_TOOLS() UPDATER_REQUIRE_TOOLS("convert", "JxrEncApp")

// The command that makes each fixture file in the scratch directory. "pattern" images are
// 40 x 30 blocks: red, a blue band (columns 10-19), lime (columns 20-29, top half) and white
// (columns 30-39, bottom half). "frames" images hold a red first frame and a blue second one.
#define PATTERN                                                                    \
  "convert -size 40x30 xc:red -fill blue -draw 'rectangle 10,0 19,29' -fill lime " \
  "-draw 'rectangle 20,0 29,14' -fill white -draw 'rectangle 30,15 39,29' "
const std::map<std::string, std::string>& fixtureCommands() {
  static const std::map<std::string, std::string> commands{
      {"pattern.bmp", PATTERN "BMP3:pattern.bmp"},
      {"pattern.jpg", PATTERN "-quality 95 pattern.jpg"},
      {"pattern.png", PATTERN "pattern.png"},
      {"pattern.gif", PATTERN "pattern.gif"},
      {"pattern.tif", PATTERN "-compress lzw pattern.tif"},
      {"pattern.ico", PATTERN "pattern.ico"},
      {"pattern.jxr",
       PATTERN "-type TrueColor BMP3:p24.bmp && JxrEncApp -i p24.bmp -o pattern.jxr"},
      {"half-planar.jxr",
       PATTERN "-alpha set -channel A -evaluate set 50% +channel -depth 8 "
               "-compress none half.tif && JxrEncApp -i half.tif -o half-planar.jxr -a 2"},
      {"half-interleaved.jxr",
       PATTERN "-alpha set -channel A -evaluate set 50% +channel -depth 8 -compress none "
               "half.tif && JxrEncApp -i half.tif -o half-interleaved.jxr -a 3"},
      {"grey.jxr",
       "convert -size 40x30 xc:'gray(20%)' -fill 'gray(80%)' -draw 'rectangle 10,0 19,29' "
       "-depth 8 grey.pgm && mv grey.pgm grey.pnm && JxrEncApp -i grey.pnm -o grey.jxr"},
      {"frames.gif", "convert -size 8x8 xc:red xc:blue frames.gif"},
      {"frames.tif", "convert -size 8x8 xc:red xc:blue frames.tif"},
      {"frames.ico", "convert -size 16x16 xc:red -size 32x32 xc:blue frames.ico"},
      {"wide.png", "convert -size 5000x10 xc:red wide.png"},
      {"png-inside.ico", "convert -size 256x256 xc:red png-inside.ico"},  // 256 px: held as PNG
      // ImageMagick writes an icon's type (1) into a cursor too: the cursor's type is 2.
      {"png-inside.cur",
       "convert -size 256x256 xc:red ICO:png-inside.cur && "
       "printf '\\002' | dd of=png-inside.cur bs=1 seek=2 conv=notrunc 2> /dev/null"},
      {"wide.bmp", "convert -size 5000x10 xc:red BMP3:wide.bmp"},
      // Formats Qt reads but the updater does not take.
      {"pattern.tga", PATTERN "pattern.tga"},
      {"pattern.ppm", PATTERN "pattern.ppm"},
      {"pattern.webp", PATTERN "pattern.webp"},
      {"pattern.xpm", PATTERN "pattern.xpm"},
      // Twice as wide as the largest bitmap: decoded at half size, then scaled the rest.
      {"long.jxr",
       "convert -size 9000x16 xc:red -fill blue -draw 'rectangle 0,0 199,15' "
       "-type TrueColor BMP3:long24.bmp && JxrEncApp -i long24.bmp -o long.jxr"},
      // The largest bitmap the budget takes (8000 x 4000 at 4 bytes), decoded at full size in
      // the child: its address space must leave room for it.
      {"largest.jxr",
       "convert -size 8000x4000 xc:red -alpha set -channel A -evaluate set 50% +channel "
       "-depth 8 -compress none largest.tif && JxrEncApp -i largest.tif -o largest.jxr -a 3 "
       "> /dev/null && rm largest.tif"},
      {"wide.jxr",
       "convert -size 5000x10 xc:red BMP3:wide24.bmp && JxrEncApp -i wide24.bmp "
       "-o wide.jxr"},
  };
  return commands;
}

// Made on first use, once per run; an empty array when the tool failed.
QByteArray fixture(const std::string& name) {
  static testsupport::ScratchDirectory directory;
  static std::map<std::string, QByteArray> made;
  if (const auto found = made.find(name); found != made.end()) return found->second;
  QByteArray bytes;
  if (testsupport::runIn(directory.path(), fixtureCommands().at(name))) {
    QFile file(QString::fromStdString((directory / name).string()));
    if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
  }
  return made[name] = bytes;
}

using brandingtest::Samples;

// Every block of the pattern, and the first columns, which an in-place pixel conversion that
// widens pixels would overwrite before reading them.
Samples patternSamples(int alpha = 255) {
  const QRgb red = qRgba(255, 0, 0, alpha), blue = qRgba(0, 0, 255, alpha);
  const QRgb lime = qRgba(0, 255, 0, alpha), white = qRgba(255, 255, 255, alpha);
  return {{{0, 15}, red},  {{1, 15}, red},  {{2, 3}, red},  {{5, 25}, red},   {{15, 15}, blue},
          {{25, 6}, lime}, {{25, 23}, red}, {{35, 6}, red}, {{35, 23}, white}};
}

struct FormatCase {
  const char* file;
  QSize size;
  Samples samples;
  int tolerance;  // per channel: lossy formats blur the block edges a little
};

void PrintTo(const FormatCase& row, std::ostream* out) {
  *out << row.file;
}

class DecodesEveryFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DecodesEveryFormat, FirstFrameBySizeAndColours) {
  REQUIRE_FIXTURE_TOOLS();
  const FormatCase& row = GetParam();
  const QByteArray data = fixture(row.file);
  ASSERT_FALSE(data.isEmpty()) << "the fixture was not made: " << fixtureCommands().at(row.file);
  const QImage image = decode(data);
  ASSERT_EQ(image.size(), row.size);
  brandingtest::expectSamples(image, row.samples, row.tolerance);
}

const QRgb kRed = qRgb(255, 0, 0);
const QSize kPattern{40, 30};

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DecodesEveryFormat,
    ::testing::Values(
        FormatCase{"pattern.bmp", kPattern, patternSamples(), 0},
        FormatCase{"pattern.jpg", kPattern, patternSamples(), 40},
        FormatCase{"pattern.png", kPattern, patternSamples(), 0},
        FormatCase{"pattern.gif", kPattern, patternSamples(), 0},
        FormatCase{"pattern.tif", kPattern, patternSamples(), 0},
        FormatCase{"pattern.ico", kPattern, patternSamples(), 0},
        FormatCase{"pattern.jxr", kPattern, patternSamples(), 2},
        FormatCase{"half-planar.jxr", kPattern, patternSamples(128), 2},
        FormatCase{"half-interleaved.jxr", kPattern, patternSamples(128), 2},
        FormatCase{"grey.jxr",
                   kPattern,
                   {{{1, 15}, qRgb(51, 51, 51)}, {{15, 15}, qRgb(204, 204, 204)}},
                   2},
        FormatCase{"frames.gif", {8, 8}, {{{4, 4}, kRed}}, 0},
        FormatCase{"frames.tif", {8, 8}, {{{4, 4}, kRed}}, 0},
        FormatCase{"frames.ico", {16, 16}, {{{8, 8}, kRed}}, 0},
        FormatCase{"png-inside.ico", {256, 256}, {{{128, 128}, kRed}}, 0},
        FormatCase{"png-inside.cur", {256, 256}, {{{128, 128}, kRed}}, 0},
        // Wider than the largest bitmap: scaled down to fit, keeping the ratio.
        FormatCase{"wide.png", {4096, 8}, {{{2048, 4}, kRed}}, 0},
        FormatCase{"wide.bmp", {4096, 8}, {{{2048, 4}, kRed}}, 0},
        FormatCase{"wide.jxr", {4096, 8}, {{{2048, 4}, kRed}}, 2},
        FormatCase{"largest.jxr", {4096, 2048}, {{{2048, 1024}, qRgba(255, 0, 0, 128)}}, 2},
        FormatCase{"long.jxr", {4096, 7}, {{{40, 3}, qRgb(0, 0, 255)}, {{2048, 3}, kRed}}, 2}),
    [](const auto& row) {
      std::string name = row.param.file;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

// --- Hostile data ---------------------------------------------------------------------------

// Peak resident memory of this process, after clearing the peak, in MiB.
bool resetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear.flush());
}
long peakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
  return -1;
}

void putBigEndian16(QByteArray& bytes, qsizetype at, quint32 value) {
  qToBigEndian(static_cast<quint16>(std::min<quint32>(value, 0xFFFF)), bytes.data() + at);
}
void putLittleEndian16(QByteArray& bytes, qsizetype at, quint32 value) {
  qToLittleEndian(static_cast<quint16>(std::min<quint32>(value, 0xFFFF)), bytes.data() + at);
}
void putLittleEndian32(QByteArray& bytes, qsizetype at, quint32 value) {
  qToLittleEndian(value, bytes.data() + at);
}

// The fixture with its declared width and height replaced (16-bit fields take at most 65535),
// as a hostile file would declare them; every checksum over the header is made right again, so
// the decoder goes on to believe the size.
QByteArray declaringSize(const std::string& file, quint32 width, quint32 height) {
  QByteArray bytes = fixture(file);
  if (bytes.isEmpty()) return bytes;
  const auto byteAt = [&](qsizetype at) { return static_cast<unsigned char>(bytes[at]); };
  if (file.ends_with(".bmp")) {
    putLittleEndian32(bytes, 18, width);
    putLittleEndian32(bytes, 22, height);
  } else if (file.ends_with(".png")) {
    qToBigEndian(width, bytes.data() + 16);
    qToBigEndian(height, bytes.data() + 20);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.constData() + 12), 17);
    qToBigEndian(static_cast<quint32>(crc), bytes.data() + 29);
  } else if (file.ends_with(".gif")) {
    putLittleEndian16(bytes, 6, width);
    putLittleEndian16(bytes, 8, height);
    qsizetype at = 13 + ((byteAt(10) & 0x80) ? 3 * (2 << (byteAt(10) & 7)) : 0);
    while (at < bytes.size() && byteAt(at) == 0x21) {  // extensions before the first frame
      at += 2;
      while (at < bytes.size() && byteAt(at) != 0) at += byteAt(at) + 1;
      ++at;
    }
    if (at + 9 > bytes.size() || byteAt(at) != 0x2C) return {};
    putLittleEndian16(bytes, at + 5, width);
    putLittleEndian16(bytes, at + 7, height);
  } else if (file.ends_with(".jpg")) {
    qsizetype at = 2;
    while (at + 9 < bytes.size() && byteAt(at) == 0xFF && (byteAt(at + 1) & 0xFC) != 0xC0)
      at += 2 + qFromBigEndian<quint16>(bytes.constData() + at + 2);
    if (at + 9 >= bytes.size() || byteAt(at) != 0xFF) return {};
    putBigEndian16(bytes, at + 5, height);
    putBigEndian16(bytes, at + 7, width);
  } else if (file.ends_with(".tif")) {
    const quint32 ifd = qFromLittleEndian<quint32>(bytes.constData() + 4);
    const quint16 count = qFromLittleEndian<quint16>(bytes.constData() + ifd);
    for (quint16 i = 0; i < count; ++i) {
      const qsizetype entry = ifd + 2 + 12 * i;
      const quint16 tag = qFromLittleEndian<quint16>(bytes.constData() + entry);
      if (tag != 256 && tag != 257) continue;
      putLittleEndian16(bytes, entry + 2, 4);  // LONG
      putLittleEndian32(bytes, entry + 4, 1);
      putLittleEndian32(bytes, entry + 8, tag == 256 ? width : height);
    }
  } else if (file.ends_with(".ico")) {
    // The first entry holds a BMP whose info header declares the size (twice the height: the
    // colour and the mask).
    const quint32 offset = qFromLittleEndian<quint32>(bytes.constData() + 18);
    if (offset + 12 > static_cast<quint32>(bytes.size())) return {};
    putLittleEndian32(bytes, offset + 4, width);
    putLittleEndian32(bytes, offset + 8, 2 * height);
  } else if (file.ends_with(".jxr")) {
    // The codestream's short header: width - 1 and height - 1, 16 bits each.
    const qsizetype at = bytes.indexOf(QByteArray("WMPHOTO\0", 8));
    if (at < 0 || !(byteAt(at + 10) & 0x80)) return {};
    putBigEndian16(bytes, at + 12, width - 1);
    putBigEndian16(bytes, at + 14, height - 1);
  }
  return bytes;
}

// The fixture with one more chunk before its closing IEND chunk, which ends the file (in an icon,
// the PNG of its only image). The chunk may declare more bytes than it holds.
QByteArray withChunkBeforeEnd(const std::string& file, const QByteArray& type,
                              const QByteArray& payload,
                              std::optional<quint32> declaredLength = std::nullopt) {
  QByteArray bytes = fixture(file);
  if (bytes.size() < 12 || !bytes.endsWith("IEND\xAE\x42\x60\x82")) return {};
  QByteArray chunk(4, '\0');
  qToBigEndian(declaredLength.value_or(static_cast<quint32>(payload.size())), chunk.data());
  chunk += type + payload;
  const QByteArray checked = type + payload;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(checked.constData()),
                          static_cast<uInt>(checked.size()));
  chunk.resize(chunk.size() + 4);
  qToBigEndian(static_cast<quint32>(crc), chunk.data() + chunk.size() - 4);
  bytes.insert(bytes.size() - 12, chunk);
  if (file.ends_with(".ico") || file.ends_with(".cur")) {  // the image's size in the directory
    const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + 14);
    putLittleEndian32(bytes, 14, size + static_cast<quint32>(chunk.size()));
  }
  return bytes;
}

// The HD Photo fixture with its horizontal resolution entry turned into a text (the image's
// description) of count bytes at offset 8: libjxr allocates the count before it reads the text.
QByteArray withDescriptionOf(const std::string& file, quint32 count) {
  QByteArray bytes = fixture(file);
  if (bytes.size() < 8) return {};
  const quint32 directory = qFromLittleEndian<quint32>(bytes.constData() + 4);
  if (directory + 2 > static_cast<quint32>(bytes.size())) return {};
  const quint16 entries = qFromLittleEndian<quint16>(bytes.constData() + directory);
  for (quint16 i = 0; i < entries; ++i) {
    const qsizetype entry = directory + 2 + 12 * i;
    if (entry + 12 > bytes.size()) return {};
    if (qFromLittleEndian<quint16>(bytes.constData() + entry) != 0xBC82) continue;  // resolution
    putLittleEndian16(bytes, entry, 0x010E);  // image description
    putLittleEndian16(bytes, entry + 2, 2);   // ASCII
    putLittleEndian32(bytes, entry + 4, count);
    putLittleEndian32(bytes, entry + 8, 8);
    return bytes;
  }
  return {};
}

// A zlib stream of that many zero bytes, made without holding them.
QByteArray compressedZeros(qsizetype size) {
  z_stream stream{};
  deflateInit(&stream, Z_BEST_COMPRESSION);
  const QByteArray zeros(1024 * 1024, '\0');
  QByteArray out;
  char buffer[16384];
  for (qsizetype left = size;;) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
    stream.avail_in = static_cast<uInt>(std::min<qsizetype>(left, zeros.size()));
    left -= stream.avail_in;
    const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    int result;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      result = deflate(&stream, flush);
      out.append(buffer, static_cast<qsizetype>(sizeof buffer - stream.avail_out));
    } while (stream.avail_out == 0);
    if (result == Z_STREAM_END) break;
  }
  deflateEnd(&stream);
  return out;
}

// A PNG of one chunk of image data, all zero bytes: 8 or 16 bits a channel, grey (colour type 0)
// or colour (2), not interlaced. A few hundred KB hold tens of megapixels.
QByteArray pngOfZeros(quint32 width, quint32 height, quint8 bitDepth, quint8 colourType) {
  const auto chunk = [](const QByteArray& type, const QByteArray& payload) {
    QByteArray bytes(4, '\0');
    qToBigEndian(static_cast<quint32>(payload.size()), bytes.data());
    const QByteArray checked = type + payload;
    QByteArray crc(4, '\0');
    qToBigEndian(static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(checked.constData()),
                                            static_cast<uInt>(checked.size()))),
                 crc.data());
    return bytes + checked + crc;
  };
  QByteArray header(13, '\0');  // then compression, filter and interlace methods 0
  qToBigEndian(width, header.data());
  qToBigEndian(height, header.data() + 4);
  header[8] = static_cast<char>(bitDepth);
  header[9] = static_cast<char>(colourType);
  const qsizetype channels = colourType == 2 ? 3 : 1;
  const qsizetype row = 1 + channels * bitDepth / 8 * width;  // a filter byte, then the pixels
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
         chunk("IDAT", compressedZeros(row * height)) + chunk("IEND", {});
}

QByteArray randomBytes(uint32_t seed, qsizetype length, const QByteArray& prefix = {}) {
  std::mt19937 random(seed);
  QByteArray bytes = prefix;
  while (bytes.size() < length) bytes.append(static_cast<char>(random()));
  return bytes;
}

struct HostileCase {
  std::string name;
  std::function<QByteArray()> data;  // empty when its fixture could not be made
  bool mustFail;                     // else a bounded picture is also an answer
};

void PrintTo(const HostileCase& row, std::ostream* out) {
  *out << row.name;
}

class RefusesHostileData : public ::testing::TestWithParam<HostileCase> {};

TEST_P(RefusesHostileData, FailsOrGivesABoundedPictureWithinBoundedMemory) {
  REQUIRE_FIXTURE_TOOLS();
  const HostileCase& row = GetParam();
  const QByteArray data = row.data();
  ASSERT_FALSE(data.isEmpty()) << "the fixture was not made";

  ASSERT_TRUE(resetPeakMemory()) << "the peak of resident memory cannot be measured";
  const long before = peakMemoryMiB();
  try {
    const QImage image = decode(data);
    EXPECT_FALSE(row.mustFail) << "decoded as " << image.width() << " x " << image.height();
    EXPECT_GT(image.width(), 0);
    EXPECT_GT(image.height(), 0);
    EXPECT_LE(image.width(), kLargestBitmapSide);
    EXPECT_LE(image.height(), kLargestBitmapSide);
  } catch (const LoadingBitmapError&) {
  }
  // One bitmap of the decoding budget at most, with room for the sanitizers' shadow memory.
  EXPECT_LT(peakMemoryMiB() - before, 2 * kLargestDecodedBytes / (1024 * 1024));
}

std::vector<HostileCase> hostileCases() {
  std::vector<HostileCase> cases;
  const char* formats[] = {"bmp", "jpg", "png", "gif", "tif", "ico", "jxr"};
  for (const char* format : formats) {
    const std::string file = std::string("pattern.") + format;
    for (const int percent : {10, 50, 90}) {
      cases.push_back({std::string("Truncated_") + format + "_" + std::to_string(percent),
                       [file, percent] {
                         const QByteArray whole = fixture(file);
                         return whole.left(whole.size() * percent / 100);
                       },
                       false});
    }
    cases.push_back({std::string("Huge_") + format,
                     [file] { return declaringSize(file, 100000, 100000); }, false});
    // An HD Photo header holds the size minus one; Qt sizes an icon by its directory entry,
    // where 0 stands for 256.
    if (std::string(format) != "jxr" && std::string(format) != "ico")
      cases.push_back({std::string("ZeroWidth_") + format,
                       [file] { return declaringSize(file, 0, 30); }, true});
  }
  // libpng, as Qt sets it up, allocates what a chunk declares before reading it.
  // Qt's icon reader takes cursors alike: the same directory with type 2 in place of 1.
  for (const std::string file : {"pattern.png", "png-inside.ico", "png-inside.cur"})
    cases.push_back({"ChunkBeyondItsData_" + file.substr(file.size() - 3),
                     [file] { return withChunkBeforeEnd(file, "tEXt", "Comment", 0x6B000000); },
                     true});
  // Qt's PNG reader decodes grey of 16 bits a channel whole, and its scaling then works at 8
  // bytes a pixel: 24 megapixels took over 400 MiB.
  cases.push_back(
      {"Grey16Of24Megapixels_png", [] { return pngOfZeros(6000, 4000, 16, 0); }, false});
  cases.push_back({"CompressedTextOf1GiB_png",
                   [] {
                     const QByteArray keyword("Comment\0\0", 9);  // then compression method 0
                     return withChunkBeforeEnd("pattern.png", "zTXt",
                                               keyword + compressedZeros(qsizetype{1} << 30));
                   },
                   false});
  // libjxr allocates what an entry of the HD Photo directory declares before reading it.
  cases.push_back(
      {"DescriptionOf3GiB_jxr", [] { return withDescriptionOf("pattern.jxr", 0xC0000000); }, true});
  for (const char* format : {"tga", "ppm", "webp", "xpm"}) {
    const std::string file = std::string("pattern.") + format;
    cases.push_back({std::string("NotAccepted_") + format, [file] { return fixture(file); }, true});
  }
  const std::pair<const char*, QByteArray> signatures[] = {
      {"None", {}},
      {"Bmp", "BM"},
      {"Png", "\x89PNG\r\n\x1a\n"},
      {"Gif", "GIF89a"},
      {"Jpeg", "\xFF\xD8\xFF\xE0"},
      {"TiffIntel", QByteArray("II*\0", 4)},
      {"TiffMotorola", QByteArray("MM\0*", 4)},
      {"Ico", QByteArray("\0\0\1\0\1\0", 6)},
      {"HdPhoto", QByteArray("II\xBC\x01", 4)},
  };
  uint32_t seed = 1;
  for (const auto& [label, prefix] : signatures)
    for (const qsizetype length : {16, 3000}) {
      const uint32_t rowSeed = seed++;
      const QByteArray head = prefix;
      cases.push_back({std::string("Random_") + label + "_" + std::to_string(length),
                       [rowSeed, length, head] { return randomBytes(rowSeed, length, head); },
                       false});
    }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Inputs, RefusesHostileData, ::testing::ValuesIn(hostileCases()),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace branding
