// The rarer methods: shrink, reduce, implode, Deflate64 and PPMd (codecs written here). On
// real archives made by other programs
// (tests/zip/data, see its README) every entry decodes to its CRC-32 and the same file decodes
// alike in every method; each codec streams through buffers of a few bytes, decodes encrypted
// entries, and fails its entry alone on damaged or truncated data. WavPack and PPMd's model
// against their own encoders: CodecTest_posix.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string_view>

#include "tests/support/BuiltCodecs.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/StringSink.h"
#include "tests/support/ZipBuilder.h"
#include "tests/support/ZipTestPassword.h"
#include "tests/zip/OpenArchive.h"
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
using ziptest::dataFile;
using ziptest::OpenArchive;

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

INSTANTIATE_TEST_SUITE_P(Archives, FixtureTest,
                         testing::ValuesIn(testsupport::rowsOfBuiltMethods(fixtures)),
                         [](const testing::TestParamInfo<FixtureCase>& row) {
                           return row.param.label;
                         });

// The suites store the same files in several methods: a file must decode alike in all of
// them (LZMA, through liblzma, stands as the independent reference of the sharpcompress set
// where the build has it).
TEST(FixtureContent, TheSameFileDecodesAlikeInEveryMethod) {
  std::map<uint32_t, std::string> byCrc;
  std::map<uint32_t, int> seen;
  int sharpArchives = 0;
  for (const FixtureCase& row : testsupport::rowsOfBuiltMethods(fixtures)) {
    if (std::string_view(row.file).starts_with("sc_")) ++sharpArchives;
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
  // exe, jpg and txt of the sharpcompress set in each of its archives; the lorem ipsum twice.
  EXPECT_GE(sharpArchives, 8);
  EXPECT_GE(seen[0xcfb109c8], sharpArchives);
  EXPECT_GE(seen[0x088814e3], sharpArchives);
  EXPECT_GE(seen[0x9bd160fa], sharpArchives);
  EXPECT_EQ(seen[0xb9034f7e], 2);
}

// The optional codecs are there exactly when the build says so: a codec lost by a build
// would otherwise take its rows out of every table unnoticed.
TEST(BuiltCodecs, TheLibraryDecodesExactlyTheMethodsOfThisBuild) {
  for (const uint16_t method : {zip::Bzip2, zip::Lzma, zip::WavPack}) {
    SCOPED_TRACE(method);
    EXPECT_EQ(zip::makeDecoder(method, {}) != nullptr, testsupport::methodBuilt(method));
  }
#if defined(__linux__)
  // The Linux build has every codec: the options are for systems that lack a library.
  EXPECT_TRUE(testsupport::kBzip2Built && testsupport::kLzmaBuilt && testsupport::kWavPackBuilt);
#endif
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
