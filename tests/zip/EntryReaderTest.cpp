#include "zip/EntryReader.h"

#include <gtest/gtest.h>

#include "tests/support/BuiltCodecs.h"
#include "tests/support/InvoiceText.h"
#include "tests/support/StringSink.h"
#include "tests/support/ZipBuilder.h"
#include "tests/support/ZipTestPassword.h"
#include "zip/MemoryInputStream.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace {

using testsupport::buildZip;
using testsupport::invoiceText;
using testsupport::StringSink;
using testsupport::ZipFixtureEntry;

const std::string password = testsupport::kZipTestPassword;

// Reads entry `index` of the archive into a string; throws ZipError as the reader does.
std::string readEntry(const std::string& archiveBytes, size_t index = 0,
                      const std::string& usedPassword = password) {
  zip::MemoryInputStream stream(std::as_bytes(std::span(archiveBytes.data(), archiveBytes.size())));
  zip::ZipArchive archive(stream);
  zip::EntryReader reader(archive, archive.entries().at(index),
                          {usedPassword, testsupport::kZipPasswordTests});
  zip::DecodeBuffers buffers;
  StringSink sink;
  reader.decodeTo(sink, buffers);
  return sink.text;
}

struct MethodCase {
  const char* label;
  uint16_t method;
  uint16_t flags;  // bit 1 for LZMA: with end marker
};

const MethodCase methods[] = {
    {"Stored", 0, 0},
    {"Deflated", 8, 0},
    {"Bzip2", 12, 0},
    {"LzmaWithoutEndMarker", 14, 0},
    {"LzmaWithEndMarker", 14, 0x0002},
};

class MethodTest : public testing::TestWithParam<MethodCase> {};

TEST_P(MethodTest, DecodesPlainEncryptedAndStreamedEntries) {
  const std::string content = invoiceText(700 * 1024);
  const ZipFixtureEntry plain{
      .name = "f", .data = content, .method = GetParam().method, .flags = GetParam().flags};
  ZipFixtureEntry encrypted = plain;
  encrypted.password = password;
  ZipFixtureEntry streamed = encrypted;  // the check byte comes from the time
  streamed.dataDescriptor = true;
  streamed.dosTime = 0xA5C3;
  const std::string archive = buildZip({plain, encrypted, streamed});
  EXPECT_EQ(readEntry(archive, 0), content);
  EXPECT_EQ(readEntry(archive, 1), content);
  EXPECT_EQ(readEntry(archive, 2), content);
}

TEST_P(MethodTest, DecoderStreamsThroughTinyBuffers) {
  const std::string content = invoiceText(20000);
  const std::string compressed = buildZip({ZipFixtureEntry{
      .name = "f", .data = content, .method = GetParam().method, .flags = GetParam().flags}});
  // The compressed data sits right after the 30-byte local header and the one-byte name.
  zip::MemoryInputStream stream(std::as_bytes(std::span(compressed.data(), compressed.size())));
  zip::ZipArchive archive(stream);
  const zip::ZipEntry& entry = archive.entries()[0];
  const std::string data = compressed.substr(31, entry.compressedSize);
  // Every split of the input matters (liblzma once failed on an end marker split in two), so
  // feed a few bytes at a time, with room for a few bytes of output.
  for (size_t piece = 1; piece <= 7; ++piece) {
    SCOPED_TRACE(piece);
    auto decoder = zip::makeDecoder(entry.method, {entry.uncompressedSize, entry.flags});
    ASSERT_TRUE(decoder);
    std::string out;
    size_t at = 0;   // first byte not consumed
    size_t fed = 0;  // first byte never handed over
    bool finished = false;
    for (int calls = 0; !finished && calls < 1'000'000; ++calls) {
      fed = std::min(data.size(), std::max(fed, at) + piece);
      std::byte room[5];
      const auto step = decoder->decode(std::as_bytes(std::span(data.data() + at, fed - at)),
                                        fed == data.size(), room);
      at += step.consumed;
      out.append(reinterpret_cast<const char*>(room), step.produced);
      finished = step.finished;
    }
    EXPECT_TRUE(finished);
    EXPECT_EQ(out, content);
  }
}

TEST_P(MethodTest, CorruptOrTruncatedDataFails) {
  const std::string content = invoiceText(200 * 1024);
  const uint16_t method = GetParam().method;
  ZipFixtureEntry fixture{
      .name = "f", .data = content, .method = method, .flags = GetParam().flags};
  std::string payload;
  switch (method) {
    case 0:
      payload = content;
      break;
    case 8:
      payload = testsupport::deflateRaw(content);
      break;
    case 12:
      payload = testsupport::bzip2Compress(content);
      break;
    default:
      payload = testsupport::lzmaZipCompress(content, (GetParam().flags & 2) != 0);
  }

  std::string damaged = payload;
  for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 16; ++i) damaged[i] ^= 0x5A;
  fixture.payload = damaged;
  EXPECT_THROW(readEntry(buildZip({fixture})), zip::ZipError);

  fixture.payload = payload.substr(0, payload.size() / 2);
  EXPECT_THROW(readEntry(buildZip({fixture})), zip::ZipError);

  fixture.payload = payload.substr(0, method == 14 ? 6 : 0);  // for LZMA: inside its header
  EXPECT_THROW(readEntry(buildZip({fixture})), zip::ZipError);
}

INSTANTIATE_TEST_SUITE_P(Methods, MethodTest,
                         testing::ValuesIn(testsupport::rowsOfBuiltMethods(methods)),
                         [](const testing::TestParamInfo<MethodCase>& row) {
                           return row.param.label;
                         });

TEST(EntryReaderTest, NeverPassesMoreThanTheDeclaredSize) {
  // A small declared size over a large stream: the decompression bomb case.
  const std::string content(1 << 20, 'z');
  for (const uint16_t method : testsupport::builtMethods({0, 8, 12, 14})) {
    SCOPED_TRACE(method);
    const std::string archive = buildZip({ZipFixtureEntry{
        .name = "bomb", .data = content, .method = method, .uncompressedSize = 1000}});
    zip::MemoryInputStream stream(std::as_bytes(std::span(archive.data(), archive.size())));
    zip::ZipArchive opened(stream);
    zip::EntryReader reader(opened, opened.entries()[0], {});
    zip::DecodeBuffers buffers;
    StringSink sink;
    EXPECT_THROW(reader.decodeTo(sink, buffers), zip::ZipError);
    EXPECT_LE(sink.text.size(), 1000u);
  }
}

TEST(EntryReaderTest, FailsWhenLessThanDeclaredOrCrcDiffers) {
  for (const uint16_t method : std::initializer_list<uint16_t>{0, 8}) {
    SCOPED_TRACE(method);
    EXPECT_THROW(readEntry(buildZip({ZipFixtureEntry{
                     .name = "f", .data = "short", .method = method, .uncompressedSize = 6}})),
                 zip::ZipError);
    EXPECT_THROW(readEntry(buildZip({ZipFixtureEntry{
                     .name = "f", .data = "data", .method = method, .crc = 0x12345678}})),
                 zip::ZipError);
  }
}

TEST(EntryReaderTest, PasswordIsCheckedBeforeAnyData) {
  ZipFixtureEntry fixture{.name = "f", .data = "secret", .method = 8, .password = "other"};
  EXPECT_THROW(readEntry(buildZip({fixture})), zip::ZipError);
  fixture.password = password;
  EXPECT_THROW(readEntry(buildZip({fixture}), 0, "quelbratzun%7"), zip::ZipError);
  EXPECT_EQ(readEntry(buildZip({fixture})), "secret");
  // An encrypted entry too short to hold its encryption header.
  EXPECT_THROW(readEntry(buildZip({ZipFixtureEntry{.name = "f", .payload = "tiny", .flags = 1}})),
               zip::ZipError);
}

TEST(EntryReaderTest, RefusesUnsupportedMethodsAndEncryptions) {
  const std::string stored = "plain data";
  for (const uint16_t method : std::initializer_list<uint16_t>{7, 10, 99, 200}) {
    SCOPED_TRACE(method);
    EXPECT_THROW(readEntry(buildZip({ZipFixtureEntry{
                     .name = "f", .data = stored, .method = method, .payload = stored}})),
                 zip::ZipError);
  }
  // AES: method 99 behind the encryption flag; strong encryption: flag bit 6.
  EXPECT_THROW(readEntry(buildZip({ZipFixtureEntry{.name = "f",
                                                   .data = stored,
                                                   .method = 99,
                                                   .payload = std::string(40, 'x'),
                                                   .flags = 1}})),
               zip::ZipError);
  EXPECT_THROW(readEntry(buildZip({ZipFixtureEntry{
                   .name = "f", .data = stored, .payload = std::string(40, 'x'), .flags = 0x41}})),
               zip::ZipError);
}

TEST(EntryReaderTest, EmptyEntryIsNeitherDecodedNorTested) {
  EXPECT_EQ(readEntry(buildZip({ZipFixtureEntry{
                .name = "f", .method = 8, .payload = "garbage", .crc = 0xDEADBEEF}})),
            "");
}

#if UPDATER_ZIP_LZMA_BUILT
TEST(EntryReaderTest, LzmaDictionaryIsBoundedByTheEntry) {
  const std::string content = invoiceText(5000);
  std::string payload = testsupport::lzmaZipCompress(content, false);
  payload.replace(5, 4, "\xFF\xFF\xFF\xFF");  // declares a 4 GiB dictionary
  const ZipFixtureEntry fixture{.name = "f", .data = content, .method = 14, .payload = payload};
  EXPECT_EQ(readEntry(buildZip({fixture})), content);

  ZipFixtureEntry huge = fixture;
  huge.uncompressedSize = 1ull << 32;  // would need the whole dictionary
  huge.zip64 = true;
  EXPECT_THROW(readEntry(buildZip({huge})), zip::ZipError);
}
#endif

}  // namespace
