// Bits in the order of the ZIP methods written here (shrink, reduce, implode, Deflate64): the
// first bit of a byte is its lowest. The reader takes the bytes of one decode() call into a
// 64-bit buffer; a codec asks whether the bits of its next unit of work are there before it
// decodes that unit, and returns for more input when they are not. At the end of the data the
// missing bits read as zeros and are counted, so that a codec can tell a truncated stream
// (pastEnd()) from one that ended where it should.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "zip/LittleEndian.h"
#include "zip/ZipError.h"

namespace zip {

class BitReader {
public:
  // The most bits that ensure() can promise.
  static constexpr unsigned maxBits = 56;

  // Hands over the input of one decode() call; bits still buffered from the last call stay.
  void setInput(std::span<const std::byte> input, bool inputEnded) {
    start_ = next_ = reinterpret_cast<const uint8_t*>(input.data());
    end_ = next_ + input.size();
    ended_ = inputEnded;
  }

  // How many bytes of this call's input have been taken into the buffer or copied out.
  size_t consumed() const { return static_cast<size_t>(next_ - start_); }

  // Whether `count` bits (at most maxBits) can be read now. At the end of the data it is
  // always true: bits beyond the end read as zeros, and pastEnd() tells once one was used.
  bool ensure(unsigned count) {
    if (count_ >= count) return true;
    refill();
    if (count_ >= count) return true;
    if (!ended_) return false;
    while (count_ < count) {
      count_ += 8;
      padding_ += 8;
    }
    return true;
  }

  uint32_t peek(unsigned count) const {
    return static_cast<uint32_t>(bits_ & ((uint64_t{1} << count) - 1));
  }
  void drop(unsigned count) {
    bits_ >>= count;
    count_ -= count;
  }
  uint32_t take(unsigned count) {
    const uint32_t value = peek(count);
    drop(count);
    return value;
  }

  // Whether a bit beyond the end of the data has been used: the data was cut short.
  bool pastEnd() const { return padding_ > count_; }
  void throwIfPastEnd(const char* method) const {
    if (pastEnd()) throw ZipError(std::string(method) + " data ends too early");
  }

  // Drops the bits up to the next byte boundary.
  void alignToByte() { drop(count_ % 8); }

  // Copies whole bytes, the buffered ones first, then straight from the input; after
  // alignToByte() only. Returns how many were copied: fewer than `count` when the input of
  // this call runs out.
  size_t copyBytes(std::byte* out, size_t count) {
    size_t copied = 0;
    while (copied < count && count_ >= 8) {
      if (padding_ >= count_) break;  // only the zeros beyond the end are left
      out[copied++] = static_cast<std::byte>(take(8));
    }
    if (copied < count && count_ == 0) {
      const size_t direct = std::min(count - copied, static_cast<size_t>(end_ - next_));
      std::memcpy(out + copied, next_, direct);
      next_ += direct;
      copied += direct;
    }
    return copied;
  }
  // Whether every bit of the data has been read: the input has ended and nothing is left.
  bool atEnd() const { return ended_ && next_ == end_ && count_ <= padding_; }

private:
  void refill() {
    if (end_ - next_ >= 8) {
      const uint64_t word = readLe64(next_);
      const unsigned bytes = (64 - count_) / 8;
      bits_ |= word << count_;
      count_ += bytes * 8;
      if (count_ < 64) bits_ &= (uint64_t{1} << count_) - 1;
      next_ += bytes;
      return;
    }
    while (count_ <= 56 && next_ < end_) {
      bits_ |= static_cast<uint64_t>(*next_++) << count_;
      count_ += 8;
    }
  }

  uint64_t bits_ = 0;
  unsigned count_ = 0;    // bits in bits_
  unsigned padding_ = 0;  // zero bits added beyond the end of the data, at the top of bits_
  const uint8_t* start_ = nullptr;
  const uint8_t* next_ = nullptr;
  const uint8_t* end_ = nullptr;
  bool ended_ = false;
};

}  // namespace zip
