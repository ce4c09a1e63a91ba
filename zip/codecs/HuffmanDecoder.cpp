#include "zip/codecs/HuffmanDecoder.h"

#include "zip/ZipError.h"

namespace zip {

void HuffmanDecoder::build(std::span<const uint8_t> lengths, bool invertBits) {
  invertMask_ = invertBits ? (1u << fastBits) - 1 : 0;
  counts_.fill(0);
  for (const uint8_t length : lengths) {
    if (length > maxLength) throw ZipError("code length out of range");
    ++counts_[length];
  }
  counts_[0] = 0;
  // Over-subscribed lengths describe no prefix code.
  int left = 1;
  for (unsigned length = 1; length <= maxLength; ++length) {
    left = left * 2 - counts_[length];
    if (left < 0) throw ZipError("invalid code lengths");
  }

  std::array<uint16_t, maxLength + 2> offsets{};
  for (unsigned length = 1; length <= maxLength; ++length) {
    offsets[length + 1] = static_cast<uint16_t>(offsets[length] + counts_[length]);
  }
  sorted_.assign(offsets[maxLength + 1], 0);
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] != 0) sorted_[offsets[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
  }

  // The short codes go into the table, each at every index whose low bits are its code read
  // first bit first.
  table_.fill(0);
  uint32_t code = 0;
  size_t index = 0;
  for (unsigned length = 1; length <= maxLength; ++length) {
    for (unsigned i = 0; i < counts_[length]; ++i, ++code, ++index) {
      if (length > fastBits) continue;
      uint32_t reversed = 0;
      for (unsigned bit = 0; bit < length; ++bit)
        reversed |= ((code >> bit) & 1u) << (length - 1 - bit);
      const auto entry = static_cast<uint16_t>(sorted_[index] << 5 | length);
      for (uint32_t at = reversed; at < table_.size(); at += 1u << length) table_[at] = entry;
    }
    code <<= 1;
  }
}

unsigned HuffmanDecoder::decodeSlowly(BitReader& bits) const {
  const uint32_t invert = invertMask_ != 0 ? 1 : 0;
  const uint32_t peeked = bits.peek(maxLength);
  int code = 0;   // the bits read so far
  int first = 0;  // the first code of the current length
  int index = 0;  // where the symbols of the current length begin in sorted_
  for (unsigned length = 1; length <= maxLength; ++length) {
    code |= static_cast<int>(((peeked >> (length - 1)) & 1u) ^ invert);
    const int count = counts_[length];
    if (code - first < count) {
      bits.drop(length);
      return sorted_[static_cast<size_t>(index + code - first)];
    }
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  throw ZipError("invalid code in compressed data");
}

}  // namespace zip
