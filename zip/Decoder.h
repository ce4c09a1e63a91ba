// The one interface every compression method implements: compressed bytes in, decompressed
// bytes out, streaming, in memory that does not grow with the entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zip {

struct DecodeStep {
  size_t consumed = 0;    // bytes taken from the input
  size_t produced = 0;    // bytes written to the output
  bool finished = false;  // the compressed stream has ended; no more output will come
};

class Decoder {
public:
  static constexpr size_t maxHeldBack = 64;

  virtual ~Decoder() = default;

  // Decodes from input into output. inputEnded tells that input holds the last compressed
  // bytes. Unless it reports finished, a call consumes or produces something whenever output
  // has room and either input has ended or it holds more than maxHeldBack bytes. Before the
  // end, a decoder may leave up to maxHeldBack bytes unconsumed; the caller hands them again
  // with more input behind them. Throws ZipError on corrupt or truncated data.
  virtual DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                            std::span<std::byte> output) = 0;
};

// What a codec may need to know of its entry.
struct DecoderParameters {
  uint64_t uncompressedSize = 0;
  uint16_t flags = 0;  // general purpose flags of the entry
};

}  // namespace zip
