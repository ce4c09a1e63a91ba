// Method 6: implode, from PKZIP 1. LZ77 over a 4 KiB or 8 KiB dictionary (flag bit 1) with two
// or three Shannon-Fano trees (flag bit 2: the literal tree is there). The trees come first,
// each as a byte count and bytes of (code length - 1, run of symbols - 1) nibble pairs:
// literals (256 symbols, when present), lengths (64) and distances (64). Then each item
// begins with a bit: 1, a literal (through its tree, or 8 bits as they are); 0, a copy: the
// low 6 (4 KiB) or 7 (8 KiB) distance bits as they are, the high 6 through the distance tree,
// then the length through its tree (63: one more byte adds to it), plus 3 with the literal
// tree, else plus 2. The tree codes are read with their bits inverted. Copies reaching before
// the start give zeros. The data has no end marker: it ends with the entry's size.
#include <array>

#include "zip/ZipError.h"
#include "zip/codecs/BitReader.h"
#include "zip/codecs/Codecs.h"
#include "zip/codecs/HuffmanDecoder.h"
#include "zip/codecs/OutputWindow.h"
#include "zip/codecs/WindowedDecode.h"

namespace zip {
namespace {

constexpr uint16_t bigDictionaryFlag = 0x0002;
constexpr uint16_t literalTreeFlag = 0x0004;

class ImplodeDecoder final : public Decoder {
public:
  ImplodeDecoder(uint16_t flags, uint64_t size)
      : lowDistanceBits_((flags & bigDictionaryFlag) != 0 ? 7 : 6),
        literalTree_((flags & literalTreeFlag) != 0),
        minimumLength_(literalTree_ ? 3 : 2),
        size_(size),
        window_((flags & bigDictionaryFlag) != 0 ? 8192 : 4096) {
    tree_ = literalTree_ ? 0 : 1;
  }

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    return decodeThroughWindow(bits_, window_, size_, input, inputEnded, output,
                               [this] { return run(); });
  }

private:
  bool run() {
    if (!readTrees()) return false;
    while (window_.room() > 0 && window_.total() < size_) {
      if (copyLeft_ > 0) {
        copyWithinSize(window_, copyDistance_, copyLeft_, size_);
        continue;
      }
      // The longest item: a flag, 7 distance bits, two codes of 16 bits and 8 length bits.
      if (!bits_.ensure(1 + 7 + 2 * HuffmanDecoder::maxLength + 8)) return false;
      if (bits_.take(1) == 1) {
        const unsigned literal = literalTree_ ? codes_[0].decode(bits_) : bits_.take(8);
        bits_.throwIfPastEnd("imploded");
        window_.put(static_cast<uint8_t>(literal));
        continue;
      }
      const uint32_t low = bits_.take(lowDistanceBits_);
      const unsigned high = codes_[2].decode(bits_);
      copyDistance_ = ((high << lowDistanceBits_) | low) + 1;
      unsigned length = codes_[1].decode(bits_);
      if (length == 63) length += bits_.take(8);
      bits_.throwIfPastEnd("imploded");
      copyLeft_ = length + minimumLength_;
    }
    return true;
  }

  // The trees, each read whole once its byte count and bytes are in.
  bool readTrees() {
    while (tree_ < 3) {
      if (!bits_.ensure(8)) return false;
      if (treeBytesLeft_ < 0) {
        treeBytesLeft_ = static_cast<int>(bits_.take(8)) + 1;
        treeSymbols_ = 0;
        continue;
      }
      const size_t symbolCount = tree_ == 0 ? 256 : 64;
      while (treeBytesLeft_ > 0) {
        if (!bits_.ensure(8)) return false;
        const uint32_t pair = bits_.take(8);
        const size_t run = (pair >> 4) + 1;
        if (treeSymbols_ + run > symbolCount) {
          throw ZipError("corrupt imploded data: tree describes too many symbols");
        }
        std::fill_n(lengths_.begin() + static_cast<std::ptrdiff_t>(treeSymbols_), run,
                    static_cast<uint8_t>((pair & 0x0F) + 1));
        treeSymbols_ += run;
        --treeBytesLeft_;
      }
      bits_.throwIfPastEnd("imploded");
      if (treeSymbols_ != symbolCount) {
        throw ZipError("corrupt imploded data: tree describes too few symbols");
      }
      codes_[tree_].build(std::span(lengths_).first(symbolCount), true);
      ++tree_;
      treeBytesLeft_ = -1;
    }
    return true;
  }

  const unsigned lowDistanceBits_;
  const bool literalTree_;
  const unsigned minimumLength_;
  uint64_t size_;
  BitReader bits_;
  OutputWindow window_;
  // literals, lengths, distances
  std::array<HuffmanDecoder, 3> codes_;
  size_t tree_ = 0;  // the tree being read; 3 once all are
  int treeBytesLeft_ = -1;
  size_t treeSymbols_ = 0;
  std::array<uint8_t, 256> lengths_{};
  size_t copyDistance_ = 0;
  size_t copyLeft_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> makeImplodeDecoder(const DecoderParameters& parameters) {
  return std::make_unique<ImplodeDecoder>(parameters.flags, parameters.uncompressedSize);
}

}  // namespace zip
