// libFuzzer target for the codecs on their own: decodes fuzzed data with one method twice, once
// with all of it at hand and room for all of the output, once in pieces of varying length with
// output room of varying length, as a caller that reads an entry part by part does. The two must
// agree: both decode, to the same bytes, or both fail, having written the same bytes up to
// where one of them stopped. Besides that, a decoder must keep the contract of zip/Decoder.h
// (consume and produce no more than it is given room for, and progress when it must) and fail
// only with ZipError; anything else aborts, and so does a sanitizer report.
//
// Input: a method byte (an index into the methods of zip/codecs/Codecs.h), the declared
// uncompressed size (4 bytes, little-endian), the entry's general purpose flags (2 bytes), a
// 4-byte seed for the places where the second decoding splits input and output, then the
// compressed data. tests/zip/make_codec_fuzz_seeds.sh writes seeds in this form.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "zip/Decoder.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace {

constexpr std::array methods{
    zip::Stored,         zip::Shrunk,         zip::ReducedFactor1, zip::ReducedFactor2,
    zip::ReducedFactor3, zip::ReducedFactor4, zip::Imploded,       zip::Deflated,
    zip::Deflate64,      zip::Bzip2,          zip::Lzma,           zip::WavPack,
    zip::Ppmd,
};

constexpr size_t headerSize = 11;
// Output beyond what the entry declares fails it, as EntryReader's size guard does; the
// declared size is capped so that each input decodes quickly.
constexpr uint64_t maxDeclaredSize = 1u << 20;
// The largest piece of input and room for output the second decoding hands over at once.
constexpr size_t maxPiece = 16 * 1024;
constexpr size_t maxRoom = 64 * 1024;

struct CodecInput {
  uint16_t method = 0;
  zip::DecoderParameters parameters;
  uint32_t splitSeed = 0;
  std::span<const std::byte> data;
};

struct Outcome {
  bool decoded = false;
  std::vector<std::byte> output;
};

uint32_t readLe(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

CodecInput parse(std::span<const uint8_t> bytes) {
  CodecInput input;
  input.method = methods[bytes[0] % methods.size()];
  input.parameters.uncompressedSize =
      std::min<uint64_t>(readLe(bytes.subspan(1, 4)), maxDeclaredSize);
  input.parameters.flags = static_cast<uint16_t>(readLe(bytes.subspan(5, 2)));
  input.splitSeed = readLe(bytes.subspan(7, 4));
  input.data = std::as_bytes(bytes.subspan(headerSize));
  return input;
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "codec fuzzer: %s\n", what);
  std::abort();
}

// What zip/Decoder.h promises of every call, whatever the data.
void checkStep(const zip::DecodeStep& step, size_t inputSize, size_t room) {
  if (step.consumed > inputSize) fail("the decoder consumed more input than it was given");
  if (step.produced > room) fail("the decoder produced more than the output's room");
}

// Lengths from 1 up to a limit, spread over every scale: single bytes as often as whole pieces,
// so that codes, copies and headers are cut at every place.
class Splitter {
public:
  explicit Splitter(uint32_t seed) : state_(seed | 1) {}

  size_t length(size_t limit) {
    const uint32_t scale = next() % 17;
    return std::min<size_t>(limit, 1 + next() % (uint32_t{1} << scale));
  }

private:
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

  uint32_t state_;
};

// The whole input at once, marked as ended, with room for everything the entry may produce.
// The output ends where its allocation ends, so that a write past the room is a sanitizer
// report.
Outcome decodeWhole(const CodecInput& input) {
  Outcome outcome;
  const auto limit = static_cast<size_t>(input.parameters.uncompressedSize + 1);
  std::vector<std::byte> output(limit);
  size_t consumed = 0;
  size_t produced = 0;
  try {
    const auto decoder = zip::makeDecoder(input.method, input.parameters);
    if (!decoder) fail("a listed method has no decoder");
    for (;;) {
      const std::span<const std::byte> rest = input.data.subspan(consumed);
      const std::span<std::byte> room = std::span(output).subspan(produced);
      const zip::DecodeStep step = decoder->decode(rest, true, room);
      checkStep(step, rest.size(), room.size());
      consumed += step.consumed;
      produced += step.produced;
      if (produced == limit) break;  // more than the entry declares
      if (step.finished) {
        outcome.decoded = true;
        break;
      }
      if (step.consumed == 0 && step.produced == 0) break;  // the data does not decode
    }
  } catch (const zip::ZipError&) {
  }
  output.resize(produced);
  outcome.output = std::move(output);
  return outcome;
}

// The input in pieces, handed over as EntryReader does: the next piece goes behind what the
// decoder held back, and only when that is no more than Decoder::maxHeldBack. The input and the
// room each end where their buffer ends, so that reading or writing past them is a sanitizer
// report.
Outcome decodeInPieces(const CodecInput& input) {
  Outcome outcome;
  Splitter splitter(input.splitSeed);
  const auto limit = static_cast<size_t>(input.parameters.uncompressedSize + 1);
  std::vector<std::byte> held;
  std::vector<std::byte> inputBuffer(maxPiece + zip::Decoder::maxHeldBack);
  std::vector<std::byte> roomBuffer(maxRoom);
  size_t fed = 0;
  try {
    const auto decoder = zip::makeDecoder(input.method, input.parameters);
    if (!decoder) fail("a listed method has no decoder");
    for (;;) {
      if (held.size() <= zip::Decoder::maxHeldBack && fed < input.data.size()) {
        const size_t piece = splitter.length(std::min(maxPiece, input.data.size() - fed));
        const auto next = input.data.subspan(fed, piece);
        held.insert(held.end(), next.begin(), next.end());
        fed += piece;
      }
      const bool inputEnded = fed == input.data.size();
      const std::span<std::byte> given = std::span(inputBuffer).last(held.size());
      std::copy(held.begin(), held.end(), given.begin());
      const size_t roomLength = splitter.length(std::min(maxRoom, limit - outcome.output.size()));
      const std::span<std::byte> room = std::span(roomBuffer).last(roomLength);
      const zip::DecodeStep step = decoder->decode(given, inputEnded, room);
      checkStep(step, given.size(), room.size());
      held.erase(held.begin(), held.begin() + static_cast<ptrdiff_t>(step.consumed));
      outcome.output.insert(outcome.output.end(), room.begin(),
                            room.begin() + static_cast<ptrdiff_t>(step.produced));
      if (outcome.output.size() == limit) break;  // more than the entry declares
      if (step.finished) {
        outcome.decoded = true;
        break;
      }
      if (step.consumed == 0 && step.produced == 0 &&
          (inputEnded || held.size() > zip::Decoder::maxHeldBack)) {
        break;  // the data does not decode
      }
    }
  } catch (const zip::ZipError&) {
  }
  return outcome;
}

bool isPrefix(const std::vector<std::byte>& shorter, const std::vector<std::byte>& longer) {
  return shorter.size() <= longer.size() &&
         std::equal(shorter.begin(), shorter.end(), longer.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < headerSize) return 0;
  const CodecInput input = parse(std::span(data, size));
  const Outcome whole = decodeWhole(input);
  const Outcome inPieces = decodeInPieces(input);
  if (whole.decoded != inPieces.decoded) {
    fail(whole.decoded ? "decoded whole, but failed in pieces"
                       : "failed whole, but decoded in pieces");
  }
  if (whole.decoded && whole.output != inPieces.output) {
    fail("decoded whole and in pieces to different bytes");
  }
  if (!isPrefix(whole.output, inPieces.output) && !isPrefix(inPieces.output, whole.output)) {
    fail("failed whole and in pieces after writing different bytes");
  }
  return 0;
}
