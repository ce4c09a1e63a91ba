// The rarer methods: shrink, reduce, implode, Deflate64 and PPMd (codecs written here) and
// WavPack (through libwavpack). On real archives made by other programs
// (tests/zip/data, see its README) every entry decodes to its CRC-32 and the same file decodes
// alike in every method; each codec streams through buffers of a few bytes, decodes encrypted
// entries, and fails its entry alone on damaged or truncated data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <random>

#include "tests/support/RequiredTools.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/StringSink.h"
#include "tests/support/ZipBuilder.h"
#include "tests/support/ZipTestPassword.h"
#include "zip/EntryReader.h"
#include "zip/Extractor.h"
#include "zip/MemoryInputStream.h"
#include "zip/PartFile.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace {

namespace fs = std::filesystem;
using testsupport::buildZip;
using testsupport::readFile;
using testsupport::StringSink;
using testsupport::ZipFixtureEntry;

std::string dataFile(const std::string& name) {
  return readFile(fs::path(ZIP_TEST_DATA) / name);
}

// An archive held in memory and opened.
class OpenArchive {
public:
  explicit OpenArchive(std::string bytes)
      : bytes_(std::move(bytes)),
        stream_(std::as_bytes(std::span(bytes_.data(), bytes_.size()))),
        archive_(stream_) {}

  const std::vector<zip::ZipEntry>& entries() const { return archive_.entries(); }

  // The entry decoded, its CRC-32 and size checked; throws ZipError.
  std::string read(const zip::ZipEntry& entry, const std::string& password = "") {
    zip::EntryReader reader(archive_, entry, {password, testsupport::kZipPasswordTests});
    zip::DecodeBuffers buffers;
    StringSink sink;
    reader.decodeTo(sink, buffers);
    return sink.text;
  }

  // The entry's data as stored.
  std::string payload(const zip::ZipEntry& entry) {
    const zip::LocalHeader local = archive_.readLocalHeader(entry);
    std::string data(static_cast<size_t>(entry.compressedSize), '\0');
    archive_.readAt(local.dataOffset, data.data(), data.size());
    return data;
  }

private:
  std::string bytes_;
  zip::MemoryInputStream stream_;
  zip::ZipArchive archive_;
};

struct FixtureCase {
  const char* label;
  const char* file;
  uint16_t method;  // the method the archive is there for; each must hold an entry of it
  size_t files;     // file entries, all of which must decode
};

const FixtureCase fixtures[] = {
    {"SharpShrink", "sc_Zip.shrink.zip", 1, 3},
    {"SharpReduce1", "sc_Zip.reduce1.zip", 2, 3},
    {"SharpReduce2", "sc_Zip.reduce2.zip", 3, 3},
    {"SharpReduce3", "sc_Zip.reduce3.zip", 4, 3},
    {"SharpReduce4", "sc_Zip.reduce4.zip", 5, 3},
    {"SharpImplode", "sc_Zip.implode.zip", 6, 3},
    {"SharpDeflate64", "sc_Zip.deflate64.zip", 9, 3},
    {"SharpLzma", "sc_Zip.lzma.zip", 14, 3},
    {"SharpPpmd", "sc_Zip.ppmd.zip", 98, 3},
    {"CommonsShrink", "cc_SHRUNK.ZIP", 1, 2},
    {"CommonsImplode4KTwoTrees", "cc_imploding-4Kdict-2trees.zip", 6, 1},
    {"CommonsImplode8KThreeTrees", "cc_imploding-8Kdict-3trees.zip", 6, 1},
    {"CommonsLoremImplode", "cc_lorem-ipsum-implode.zip", 6, 1},
    {"CommonsLoremDeflate64", "cc_lorem-ipsum-deflate64.zip", 9, 1},
};

class FixtureTest : public testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureTest, EveryEntryDecodesToItsCrc) {
  OpenArchive archive(dataFile(GetParam().file));
  size_t files = 0;
  bool methodSeen = false;
  for (const zip::ZipEntry& entry : archive.entries()) {
    if (entry.isDirectory()) continue;
    SCOPED_TRACE(entry.rawName);
    methodSeen = methodSeen || entry.method == GetParam().method;
    std::string content;
    EXPECT_NO_THROW(content = archive.read(entry));
    EXPECT_EQ(content.size(), entry.uncompressedSize);
    ++files;
  }
  EXPECT_TRUE(methodSeen);
  EXPECT_EQ(files, GetParam().files);
}

INSTANTIATE_TEST_SUITE_P(Archives, FixtureTest, testing::ValuesIn(fixtures),
                         [](const testing::TestParamInfo<FixtureCase>& row) {
                           return row.param.label;
                         });

// The suites store the same files in several methods: a file must decode alike in all of
// them (LZMA, through liblzma, stands as the independent reference of the sharpcompress set).
TEST(FixtureContent, TheSameFileDecodesAlikeInEveryMethod) {
  std::map<uint32_t, std::string> byCrc;
  std::map<uint32_t, int> seen;
  for (const FixtureCase& row : fixtures) {
    OpenArchive archive(dataFile(row.file));
    for (const zip::ZipEntry& entry : archive.entries()) {
      if (entry.isDirectory() || entry.uncompressedSize == 0) continue;
      SCOPED_TRACE(std::string(row.file) + ": " + entry.rawName);
      const std::string content = archive.read(entry);
      const auto [known, added] = byCrc.emplace(entry.crc32, content);
      if (!added) {
        EXPECT_TRUE(known->second == content);
      }
      ++seen[entry.crc32];
    }
  }
  // exe, jpg and txt of the sharpcompress set in 9 archives or more; the lorem ipsum twice.
  EXPECT_GE(seen[0xcfb109c8], 9);
  EXPECT_GE(seen[0x088814e3], 9);
  EXPECT_GE(seen[0x9bd160fa], 9);
  EXPECT_EQ(seen[0xb9034f7e], 2);
}

// One entry of each method, taken from the archives: its data, flags and content.
struct Sample {
  uint16_t method = 0;
  uint16_t flags = 0;
  std::string payload;
  std::string content;
};

Sample sampleOf(const std::string& file, uint16_t method, const std::string& nameEnd = "") {
  OpenArchive archive(dataFile(file));
  for (const zip::ZipEntry& entry : archive.entries()) {
    if (entry.method != method || entry.isDirectory()) continue;
    if (!nameEnd.empty() && !entry.rawName.ends_with(nameEnd)) continue;
    return {entry.method, entry.flags, archive.payload(entry), archive.read(entry)};
  }
  throw std::runtime_error("no entry of method " + std::to_string(method) + " in " + file);
}

struct CodecCase {
  const char* label;
  const char* file;
  uint16_t method;
  const char* nameEnd;  // which entry, when there are several of the method
};

const CodecCase codecs[] = {
    {"Shrink", "sc_Zip.shrink.zip", 1, "EXE"},
    {"Reduce1", "sc_Zip.reduce1.zip", 2, "EXE"},
    {"Reduce2", "sc_Zip.reduce2.zip", 3, "EXE"},
    {"Reduce3", "sc_Zip.reduce3.zip", 4, "EXE"},
    {"Reduce4", "sc_Zip.reduce4.zip", 5, "EXE"},
    {"Implode4KTwoTrees", "cc_imploding-4Kdict-2trees.zip", 6, ""},
    {"Implode8KThreeTrees", "sc_Zip.implode.zip", 6, "EXE"},
    {"Deflate64", "sc_Zip.deflate64.zip", 9, "exe"},
    {"Ppmd", "sc_Zip.ppmd.zip", 98, "exe"},
};

class CodecTest : public testing::TestWithParam<CodecCase> {
protected:
  Sample sample() const { return sampleOf(GetParam().file, GetParam().method, GetParam().nameEnd); }
};

TEST_P(CodecTest, StreamsThroughTinyBuffers) {
  const Sample entry = sample();
  // Input a few bytes at a time, room for a few bytes of output: every place where a code,
  // a copy or a header can be cut in two.
  for (const size_t piece : {size_t{1}, size_t{3}, size_t{7}}) {
    SCOPED_TRACE(piece);
    auto decoder = zip::makeDecoder(entry.method, {entry.content.size(), entry.flags});
    ASSERT_TRUE(decoder);
    std::string out;
    size_t at = 0;
    size_t fed = 0;
    bool finished = false;
    for (int calls = 0; !finished && calls < 10'000'000; ++calls) {
      fed = std::min(entry.payload.size(), std::max(fed, at) + piece);
      std::byte room[5];
      const auto step =
          decoder->decode(std::as_bytes(std::span(entry.payload.data() + at, fed - at)),
                          fed == entry.payload.size(), room);
      at += step.consumed;
      out.append(reinterpret_cast<const char*>(room), step.produced);
      finished = step.finished;
    }
    EXPECT_TRUE(finished);
    EXPECT_TRUE(out == entry.content);
  }
}

TEST_P(CodecTest, DecodesEncryptedEntries) {
  const Sample entry = sample();
  const std::string password = testsupport::kZipTestPassword;
  ZipFixtureEntry fixture{.name = "f",
                          .data = entry.content,
                          .method = entry.method,
                          .payload = entry.payload,
                          .flags = entry.flags,
                          .password = password};
  OpenArchive archive(buildZip({fixture}));
  EXPECT_TRUE(archive.read(archive.entries()[0], password) == entry.content);
  EXPECT_THROW(archive.read(archive.entries()[0], "wrong"), zip::ZipError);
}

TEST_P(CodecTest, DamagedOrTruncatedDataFails) {
  const Sample entry = sample();
  ZipFixtureEntry fixture{
      .name = "f", .data = entry.content, .method = entry.method, .flags = entry.flags};
  std::string damaged = entry.payload;
  for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 16; ++i) damaged[i] ^= 0x5A;
  const std::vector<std::string> payloads = {
      damaged,
      entry.payload.substr(0, entry.payload.size() / 2),
      entry.payload.substr(0, 3),
      "",
  };
  for (const std::string& payload : payloads) {
    SCOPED_TRACE(payload.size());
    fixture.payload = payload;
    OpenArchive archive(buildZip({fixture}));
    EXPECT_THROW(archive.read(archive.entries()[0]), zip::ZipError);
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecTest, testing::ValuesIn(codecs),
                         [](const testing::TestParamInfo<CodecCase>& row) {
                           return row.param.label;
                         });

// Through the extraction: each damaged entry is skipped and leaves nothing, while the entries
// around it are written.
TEST(CodecExtraction, DamagedEntriesLeaveNoFileAndTheOthersAreWritten) {
  std::vector<ZipFixtureEntry> entries;
  for (const CodecCase& row : codecs) {
    const Sample entry = sampleOf(row.file, row.method, row.nameEnd);
    std::string damaged = entry.payload;
    damaged.resize(damaged.size() * 2 / 3);
    entries.push_back({.name = std::string(row.label) + ".good",
                       .data = entry.content,
                       .method = entry.method,
                       .payload = entry.payload,
                       .flags = entry.flags});
    entries.push_back({.name = std::string(row.label) + ".bad",
                       .data = entry.content,
                       .method = entry.method,
                       .payload = damaged,
                       .flags = entry.flags});
  }
  const std::string bytes = buildZip(entries);
  zip::MemoryInputStream stream(std::as_bytes(std::span(bytes.data(), bytes.size())));
  zip::ZipArchive archive(stream);
  testsupport::ScratchDirectory scratch;
  const auto report = zip::Extractor(archive, scratch.path(), {}).run();
  EXPECT_EQ(report.filesWritten, std::size(codecs));
  EXPECT_EQ(report.skipped.size(), std::size(codecs));
  for (const ZipFixtureEntry& entry : entries) {
    SCOPED_TRACE(entry.name);
    const bool good = entry.name.ends_with(".good");
    ASSERT_EQ(fs::exists(scratch / entry.name), good);
    if (good) {
      EXPECT_TRUE(readFile(scratch / entry.name) == entry.data);
    }
  }
  for (const auto& item : fs::directory_iterator(scratch.path())) {
    EXPECT_EQ(item.path().filename().string().find(zip::PartFile::marker), std::string::npos);
  }
}

// WavPack: no archiver in Debian writes method 97, so Debian's encoder makes the data from a
// WAV file and the test wraps it in an archive, as WinZip stores it.

struct WavCase {
  const char* label;
  uint16_t bits;  // per sample
  uint16_t channels;
  bool floatingPoint;
  bool trailer;  // a LIST chunk after the audio, which must come back too
};

const WavCase wavCases[] = {
    {"Unsigned8BitMono", 8, 1, false, false},
    {"Stereo16BitWithTrailer", 16, 2, false, true},
    {"ThreeChannels24Bit", 24, 3, false, false},
    {"Float32Stereo", 32, 2, true, true},
};

void putLe(std::string& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

// A WAV file of a few seconds of tones and noise, long enough for several WavPack blocks.
std::string makeWav(const WavCase& row) {
  constexpr uint32_t rate = 22050;
  constexpr uint32_t frames = rate * 3 + 123;
  const uint32_t width = row.bits / 8u;
  std::mt19937 random(5);
  std::string audio;
  for (uint32_t i = 0; i < frames; ++i) {
    for (uint16_t channel = 0; channel < row.channels; ++channel) {
      const double wave = std::sin(i * (0.01 + 0.007 * channel)) * 0.6 +
                          static_cast<double>(random() % 1000) / 20000.0;
      if (row.floatingPoint) {
        const auto sample = static_cast<float>(wave);
        uint32_t bits32;
        std::memcpy(&bits32, &sample, 4);
        putLe(audio, bits32, 4);
      } else if (width == 1) {
        putLe(audio, static_cast<uint8_t>(128 + std::lround(wave * 120)), 1);
      } else {
        const double scale = std::ldexp(1.0, row.bits - 1) - 1;
        putLe(audio, static_cast<uint64_t>(std::llround(wave * scale)), width);
      }
    }
  }
  std::string format;
  putLe(format, row.floatingPoint ? 3 : 1, 2);
  putLe(format, row.channels, 2);
  putLe(format, rate, 4);
  putLe(format, rate * width * row.channels, 4);
  putLe(format, width * row.channels, 2);
  putLe(format, row.bits, 2);
  std::string body = "WAVEfmt ";
  putLe(body, format.size(), 4);
  body += format + "data";
  putLe(body, audio.size(), 4);
  body += audio;
  if (row.trailer) body += std::string("LIST\x0c\0\0\0INFOISFT\0\0\0\0", 20);
  std::string wav = "RIFF";
  putLe(wav, body.size(), 4);
  return wav + body;
}

class WavPackTest : public testing::TestWithParam<WavCase> {
protected:
  void SetUp() override {
    UPDATER_REQUIRE_TOOLS("wavpack");
    wav = makeWav(GetParam());
    testsupport::writeFile(scratch / "sound.wav", wav);
    ASSERT_TRUE(testsupport::runIn(scratch.path(), "wavpack -q -y sound.wav -o sound.wv"));
    packed = readFile(scratch / "sound.wv");
  }
  testsupport::ScratchDirectory scratch;
  std::string wav;
  std::string packed;
};

TEST_P(WavPackTest, GivesBackTheWavFileByteForByte) {
  const std::string password = testsupport::kZipTestPassword;
  ZipFixtureEntry plain{.name = "sound.wav", .data = wav, .method = 97, .payload = packed};
  ZipFixtureEntry encrypted = plain;
  encrypted.password = password;
  OpenArchive archive(buildZip({plain, encrypted}));
  EXPECT_TRUE(archive.read(archive.entries()[0]) == wav);
  EXPECT_TRUE(archive.read(archive.entries()[1], password) == wav);

  // Streaming: a few bytes in and out at a time.
  auto decoder = zip::makeDecoder(97, {wav.size(), 0});
  ASSERT_TRUE(decoder);
  std::string out;
  size_t at = 0;
  bool finished = false;
  for (int calls = 0; !finished && calls < 10'000'000; ++calls) {
    const size_t fed = std::min(packed.size(), at + 7);
    std::byte room[5];
    const auto step = decoder->decode(std::as_bytes(std::span(packed.data() + at, fed - at)),
                                      fed == packed.size(), room);
    at += step.consumed;
    out.append(reinterpret_cast<const char*>(room), step.produced);
    finished = step.finished;
  }
  EXPECT_TRUE(finished);
  EXPECT_TRUE(out == wav);
}

TEST_P(WavPackTest, DamagedOrTruncatedDataFails) {
  std::string damaged = packed;
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 16; ++i) damaged[i] ^= 0x5A;
  for (const std::string& payload :
       {damaged, packed.substr(0, packed.size() / 2), packed.substr(0, 20), std::string("RIFF")}) {
    SCOPED_TRACE(payload.size());
    OpenArchive archive(
        buildZip({ZipFixtureEntry{.name = "f", .data = wav, .method = 97, .payload = payload}}));
    EXPECT_THROW(archive.read(archive.entries()[0]), zip::ZipError);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, WavPackTest, testing::ValuesIn(wavCases),
                         [](const testing::TestParamInfo<WavCase>& row) {
                           return row.param.label;
                         });

// PPMd: the decoder must repeat the encoder's model step for step, so 7-Zip encodes data made
// to outgrow a small model, at each order, memory and restoration method, and the entry must
// come back whole. Mixed text, noise and counting records fill 1 MiB many times over, so
// the model restarts or is cut off again and again.

std::string mixedData(size_t size, uint32_t seed) {
  static const char* const words[] = {"factura",       "cliente", "importe", "EUR",
                                      "actualizacion", "version", "the",     "of",
                                      "update",        "\n",      ", ",      "2.4.1.7"};
  std::mt19937 random(seed);
  std::string data;
  while (data.size() < size) {
    const auto kind = static_cast<uint32_t>(random() % 10);
    const size_t length = 200 + random() % 20000;
    for (size_t i = 0; i < length; ++i) {
      if (kind < 6) {
        data += words[random() % std::size(words)];
        data += random() % 7 == 0 ? std::to_string(random() % 100000) : " ";
      } else if (kind < 8) {
        data += static_cast<char>(random());
      } else {
        const uint32_t value = static_cast<uint32_t>(i * (kind - 6) + seed);
        data.append(reinterpret_cast<const char*>(&value), 4);
      }
    }
  }
  data.resize(size);
  return data;
}

struct PpmdCase {
  const char* label;
  const char* options;  // of 7-Zip's PPMd coder
  unsigned order;
  unsigned restoration;  // 0 restart, 1 cut off
};

const PpmdCase ppmdCases[] = {
    {"Order2Restart", "o=2:mem=1m", 2, 0},       {"Order3CutOff", "o=3:mem=1m:a=1", 3, 1},
    {"Order5Restart", "o=5:mem=1m", 5, 0},       {"Order6CutOff", "o=6:mem=1m:a=1", 6, 1},
    {"Order8Restart", "o=8:mem=1m", 8, 0},       {"Order10CutOffTwoMiB", "o=10:mem=2m:a=1", 10, 1},
    {"Order12CutOff", "o=12:mem=1m:a=1", 12, 1}, {"Order16Restart", "o=16:mem=1m", 16, 0},
    {"Order16CutOff", "o=16:mem=1m:a=1", 16, 1},
};

class PpmdModelTest : public testing::TestWithParam<PpmdCase> {};

TEST_P(PpmdModelTest, DecodesWhatSevenZipEncoded) {
  UPDATER_REQUIRE_TOOLS("7zz");
  const PpmdCase& row = GetParam();
  testsupport::ScratchDirectory scratch;
  const std::string data = mixedData(1'500'000, row.order);
  testsupport::writeFile(scratch / "data.bin", data);
  ASSERT_TRUE(testsupport::runIn(
      scratch.path(), std::string("7zz a -bd -tzip -mm=PPMd:") + row.options + " a.zip data.bin"));
  OpenArchive archive(readFile(scratch / "a.zip"));
  const zip::ZipEntry& entry = archive.entries().at(0);
  ASSERT_EQ(entry.method, 98);
  // The parameters are the ones asked for: 7-Zip would rather shrink the model than fail.
  const std::string payload = archive.payload(entry);
  const unsigned parameters = static_cast<uint8_t>(payload[0]) | static_cast<uint8_t>(payload[1])
                                                                     << 8;
  EXPECT_EQ((parameters & 0x0F) + 1, row.order);
  EXPECT_EQ(parameters >> 12, row.restoration);
  EXPECT_TRUE(archive.read(entry) == data);
}

INSTANTIATE_TEST_SUITE_P(Parameters, PpmdModelTest, testing::ValuesIn(ppmdCases),
                         [](const testing::TestParamInfo<PpmdCase>& row) {
                           return row.param.label;
                         });

// The two bytes of parameters before the range coder, and the end of the data against the
// entry's size, on the sample entry (order 8, 16 MiB, restart).
TEST(PpmdParameters, AreCheckedAndTheEntrysSizeEndsTheData) {
  const Sample entry = sampleOf("sc_Zip.ppmd.zip", 98, "exe");
  const auto decode = [&](const std::string& payload, const std::string& content) {
    OpenArchive archive(
        buildZip({{.name = "f", .data = content, .method = 98, .payload = payload}}));
    return archive.read(archive.entries()[0]);
  };
  const auto withParameters = [&](unsigned parameters) {
    std::string payload = entry.payload;
    payload[0] = static_cast<char>(parameters);
    payload[1] = static_cast<char>(parameters >> 8);
    return payload;
  };
  const unsigned parameters =
      static_cast<uint8_t>(entry.payload[0]) | static_cast<uint8_t>(entry.payload[1]) << 8;
  ASSERT_EQ(parameters, 0x00F7u);

  // The sample never fills its model, so the largest model decodes it alike: offsets up to
  // 256 MiB.
  EXPECT_TRUE(decode(withParameters(0x0FF7), entry.content) == entry.content);
  // Decoding stops at the entry's size, before 7-Zip's end marker.
  const std::string start = entry.content.substr(0, entry.content.size() / 2);
  EXPECT_TRUE(decode(entry.payload, start) == start);

  // Order 1, the "freeze" restoration and the methods beyond it; an end marker before the
  // entry's size.
  for (const unsigned invalid : {0x00F0u, 0x20F7u, 0x30F7u, 0xF0F7u}) {
    SCOPED_TRACE(invalid);
    EXPECT_THROW(decode(withParameters(invalid), entry.content), zip::ZipError);
  }
  EXPECT_THROW(decode(entry.payload, entry.content + "x"), zip::ZipError);
}

}  // namespace
