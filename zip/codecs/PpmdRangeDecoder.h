// The range decoder of PPMd variant I: Subbotin's carryless coder, 32 bits wide. It keeps
// the low end of the range as the encoder does, since the encoder drops range (rather than
// carry into bytes already written) whenever the range falls below 2^15 without its top byte
// being settled, and the decoder has to drop the same.
//
// It reads from memory the caller fills, up to `end` (the caller keeps enough bytes there for
// a whole symbol). Reading beyond yields zeros and is counted in `overrun`: the data was cut
// short, since the decoder never reads more than the encoder wrote.
#pragma once

#include <cstdint>

namespace zip::ppmd {

struct RangeDecoder {
  static constexpr uint32_t top = 1u << 24;
  static constexpr uint32_t bottom = 1u << 15;

  uint32_t low = 0;
  uint32_t range = 0xFFFFFFFF;
  uint32_t code = 0;
  const uint8_t* next = nullptr;
  const uint8_t* end = nullptr;
  uint32_t overrun = 0;

  // The first four bytes; false when they cannot start a stream.
  bool start() {
    low = 0;
    range = 0xFFFFFFFF;
    code = 0;
    for (int i = 0; i < 4; ++i) code = (code << 8) | nextByte();
    return code != 0xFFFFFFFF;
  }

  // Where in [0, total) the code lies; false when total exceeds the range, which no encoder
  // could have written. The range is scaled to total; decode() must follow.
  bool threshold(uint32_t total, uint32_t& count) {
    if (total > range) return false;
    range /= total;
    count = code / range;
    return true;
  }
  // The same for a binary context's probability of 14 bits.
  uint32_t binaryThreshold() {
    range >>= 14;
    return code / range;
  }

  // Takes the interval [start, start + size) of the scaled range.
  void decode(uint32_t start, uint32_t size) {
    start *= range;
    low += start;
    code -= start;
    range *= size;
    for (;;) {
      if ((low ^ (low + range)) >= top) {
        if (range >= bottom) break;
        range = (0 - low) & (bottom - 1);
      }
      code = (code << 8) | nextByte();
      range <<= 8;
      low <<= 8;
    }
  }

  uint8_t nextByte() {
    if (next != end) return *next++;
    ++overrun;
    return 0;
  }
};

}  // namespace zip::ppmd
