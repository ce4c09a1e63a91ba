// The code table of shrink (method 1): codes 0 to 255 stand for their byte, codes 257 to 8191
// for strings added while decoding, each a prefix code and a last byte; 256 is the escape and
// never a string. Adding and the partial clear cost what they add and free, whatever the
// table holds: data of nothing but partial clears must not scan the table for each.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace zip {

class ShrinkTable {
public:
  static constexpr size_t kSize = size_t{1} << 13;
  static constexpr uint16_t kFree = 0xFFFF;  // prefix() of a free code
  static constexpr uint16_t kByte = 0xFFFE;  // prefix() of codes 0 to 255

  // Bytes only: every string code is free.
  ShrinkTable();

  // kFree, kByte, or the code the string of this one extends.
  uint16_t prefix(uint16_t code) const { return prefix_[code]; }
  // The last byte of the code's string; for a byte, the byte.
  uint8_t last(uint16_t code) const { return last_[code]; }

  // Gives the lowest free code to the string prefix + last; nothing when no code is free. The
  // prefix may be any code below kSize, a free one or the one given (damaged or unusual data).
  void add(uint16_t prefix, uint8_t last);

  // The partial clear: frees every string code that is no other code's prefix, as the table
  // stands before the clear.
  void clearLeaves();

  // Table entries that add and clearLeaves have looked at so far: what they cost, for tests.
  uint64_t entriesVisited() const { return entriesVisited_; }

private:
  // A set of codes that finds its lowest member at once: a bit per code, and a bit per word
  // of those that has any set.
  class CodeSet {
  public:
    void insert(uint16_t code) {
      words_[code / 64] |= uint64_t{1} << (code % 64);
      summary_[code / 4096] |= uint64_t{1} << (code / 64 % 64);
    }
    void erase(uint16_t code) {
      words_[code / 64] &= ~(uint64_t{1} << (code % 64));
      if (words_[code / 64] == 0) summary_[code / 4096] &= ~(uint64_t{1} << (code / 64 % 64));
    }
    // kSize when empty.
    size_t lowest() const {
      for (size_t half = 0; half < summary_.size(); ++half) {
        if (summary_[half] == 0) continue;
        const size_t word = half * 64 + static_cast<size_t>(std::countr_zero(summary_[half]));
        return word * 64 + static_cast<size_t>(std::countr_zero(words_[word]));
      }
      return kSize;
    }

  private:
    std::array<uint64_t, kSize / 64> words_{};
    std::array<uint64_t, kSize / 4096> summary_{};
  };

  bool isString(uint16_t code) const { return code > 256 && code < kSize; }

  std::array<uint16_t, kSize> prefix_{};
  std::array<uint8_t, kSize> last_{};
  // How many codes in use have this code as their prefix, whether it is in use or free.
  std::array<uint16_t, kSize> extensions_{};
  CodeSet free_;
  CodeSet leaves_;                         // string codes in use that no code extends
  std::array<uint16_t, kSize> orphans_{};  // during a clear: codes left without extensions
  uint64_t entriesVisited_ = 0;
};

}  // namespace zip
