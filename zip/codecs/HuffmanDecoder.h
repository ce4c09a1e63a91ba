// A prefix code given by its code lengths, decoded from a BitReader: the canonical code of
// Deflate and Deflate64 (shorter codes first, equal lengths in symbol order) and, with the bits
// inverted, the Shannon-Fano trees of implode. Codes of up to fastBits bits are found with one
// table look-up, longer ones bit by bit.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "zip/codecs/BitReader.h"

namespace zip {

class HuffmanDecoder {
public:
  static constexpr unsigned maxLength = 16;

  // Builds the code; a length of 0 leaves the symbol out. Throws ZipError when the lengths
  // are no prefix code (over-subscribed). An incomplete code is accepted: a bit string outside
  // it fails when it is met. invertBits: every bit read is complemented first.
  void build(std::span<const uint8_t> lengths, bool invertBits = false);

  // Decodes one symbol; the reader must hold maxLength bits (ensure()). Throws ZipError on a
  // bit string that is no code.
  unsigned decode(BitReader& bits) const {
    const uint32_t peeked = bits.peek(fastBits) ^ invertMask_;
    const uint16_t entry = table_[peeked];
    if (entry != 0) {
      bits.drop(entry & 0x1F);
      return entry >> 5;
    }
    return decodeSlowly(bits);
  }

private:
  static constexpr unsigned fastBits = 10;
  unsigned decodeSlowly(BitReader& bits) const;

  // symbol << 5 | length; 0: longer than fastBits, or no code.
  std::array<uint16_t, 1u << fastBits> table_{};
  std::array<uint16_t, maxLength + 1> counts_{};
  std::vector<uint16_t> sorted_;  // symbols in code order
  uint32_t invertMask_ = 0;
};

}  // namespace zip
