// Methods 2 to 5: reduce with compression factor 1 to 4, from PKZIP 0.9. Two stages undo each
// other's work here in reverse order:
// - the probabilistic stage: 256 follower sets at the start of the data (for the bytes 255
//   down to 0, a 6-bit count and that many bytes). After byte c, a 0 bit and an index of
//   B(n) bits pick from c's follower set of n bytes; a 1 bit (or an empty set) is followed by
//   the byte itself;
// - the expander: byte 144 escapes a copy. 144 then 0 is the byte 144 itself; 144 then V
//   starts a copy whose length is the low 8-factor bits of V plus 3 (all ones: one more byte
//   adds to the length) and whose distance is the high bits of V times 256 plus the next
//   byte, plus 1. Copies reaching before the start give zeros.
// The data has no end marker: it ends with the entry's size.
#include <array>

#include "zip/ZipError.h"
#include "zip/codecs/BitReader.h"
#include "zip/codecs/Codecs.h"
#include "zip/codecs/OutputWindow.h"
#include "zip/codecs/WindowedDecode.h"

namespace zip {
namespace {

constexpr uint8_t escape = 144;

// How many bits pick one of n followers.
unsigned indexBits(unsigned n) {
  unsigned bits = 1;
  while (bits < 5 && (1u << bits) < n) ++bits;
  return bits;
}

class ReduceDecoder final : public Decoder {
public:
  ReduceDecoder(unsigned factor, uint64_t size)
      : lengthMask_(0xFFu >> factor), distanceShift_(8 - factor), size_(size) {}

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    return decodeThroughWindow(bits_, window_, size_, input, inputEnded, output,
                               [this] { return run(); });
  }

private:
  // Decodes until the window is full, the entry is whole or the input runs out; false when it
  // stopped for input.
  bool run() {
    if (!readFollowerSets()) return false;
    while (window_.room() > 0 && window_.total() < size_) {
      if (copyLeft_ > 0) {
        copyWithinSize(window_, copyDistance_, copyLeft_, size_);
        continue;
      }
      if (!bits_.ensure(1 + 8)) return false;
      const uint8_t byte = nextByte();
      bits_.throwIfPastEnd("reduced");
      expand(byte);
    }
    return true;
  }

  bool readFollowerSets() {
    while (set_ >= 0) {
      Followers& followers = followers_[static_cast<size_t>(set_)];
      if (!countRead_) {
        if (!bits_.ensure(6)) return false;
        followers.count = static_cast<uint8_t>(bits_.take(6));
        if (followers.count > 32) throw ZipError("corrupt reduced data: follower set too large");
        followers.bits = static_cast<uint8_t>(indexBits(followers.count));
        countRead_ = true;
        member_ = 0;
      }
      while (member_ < followers.count) {
        if (!bits_.ensure(8)) return false;
        followers.bytes[member_++] = static_cast<uint8_t>(bits_.take(8));
      }
      bits_.throwIfPastEnd("reduced");
      --set_;
      countRead_ = false;
    }
    return true;
  }

  uint8_t nextByte() {
    const Followers& followers = followers_[last_];
    uint8_t byte;
    if (followers.count == 0 || bits_.take(1) == 1) {
      byte = static_cast<uint8_t>(bits_.take(8));
    } else {
      const uint32_t index = bits_.take(followers.bits);
      if (index >= followers.count) throw ZipError("corrupt reduced data: follower out of range");
      byte = followers.bytes[index];
    }
    last_ = byte;
    return byte;
  }

  void expand(uint8_t byte) {
    switch (expanderState_) {
      case 0:
        if (byte == escape) {
          expanderState_ = 1;
        } else {
          window_.put(byte);
        }
        break;
      case 1:
        if (byte == 0) {
          window_.put(escape);
          expanderState_ = 0;
        } else {
          code_ = byte;
          length_ = byte & lengthMask_;
          expanderState_ = length_ == lengthMask_ ? 2 : 3;
        }
        break;
      case 2:
        length_ += byte;
        expanderState_ = 3;
        break;
      default:
        copyDistance_ = ((code_ >> distanceShift_) << 8) + byte + 1;
        copyLeft_ = length_ + 3;
        expanderState_ = 0;
        break;
    }
  }

  struct Followers {
    uint8_t count = 0;
    uint8_t bits = 0;
    std::array<uint8_t, 32> bytes{};
  };

  const unsigned lengthMask_;
  const unsigned distanceShift_;
  uint64_t size_;
  BitReader bits_;
  OutputWindow window_{4096};
  std::array<Followers, 256> followers_{};
  int set_ = 255;  // the follower set being read; -1 once all are
  bool countRead_ = false;
  unsigned member_ = 0;
  uint8_t last_ = 0;  // the byte before, which chooses the follower set
  int expanderState_ = 0;
  unsigned code_ = 0;
  unsigned length_ = 0;
  size_t copyDistance_ = 0;
  size_t copyLeft_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> makeReduceDecoder(const DecoderParameters& parameters, unsigned factor) {
  return std::make_unique<ReduceDecoder>(factor, parameters.uncompressedSize);
}

}  // namespace zip
