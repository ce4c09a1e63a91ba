// Codecs checked against data that tools of this system make at test time: WavPack from
// Debian's encoder, PPMd models from 7-Zip. Those tools run on POSIX systems only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tests/support/RequiredTools.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"
#include "tests/support/ZipTestPassword.h"
#include "tests/zip/OpenArchive.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace {

using testsupport::buildZip;
using testsupport::readFile;
using testsupport::ZipFixtureEntry;
using ziptest::OpenArchive;

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

}  // namespace
