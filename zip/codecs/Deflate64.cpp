// Method 9: Deflate64, PKWARE's "enhanced deflate". Deflate (RFC 1951) with three changes: a
// 64 KiB window, distance codes 30 and 31 (extra 14 bits, up to 65536 back), and length code
// 285 carrying 16 extra bits (3 to 65538) instead of standing for 258. zlib does not read it,
// so the decoder is written here; it stops at its own end of stream, as deflate does.
#include <array>

#include "zip/ZipError.h"
#include "zip/codecs/BitReader.h"
#include "zip/codecs/Codecs.h"
#include "zip/codecs/HuffmanDecoder.h"
#include "zip/codecs/OutputWindow.h"

namespace zip {
namespace {

constexpr size_t windowSize = 64 * 1024;

constexpr std::array<uint16_t, 29> lengthBase{3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                              15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                              67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr std::array<uint8_t, 29> lengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr std::array<uint32_t, 32> distanceBase{
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<uint8_t, 32> distanceExtra{0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                                4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                                10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which the code length code's lengths are stored.
constexpr std::array<uint8_t, 19> codeLengthOrder{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};

class Deflate64Decoder final : public Decoder {
public:
  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    bits_.setInput(input, inputEnded);
    size_t produced = window_.flush(output);
    while (state_ != State::Done && window_.room() > 0) {
      const bool progressed = run();
      produced += window_.flush(output.subspan(produced));
      if (!progressed || produced == output.size()) break;
    }
    const bool finished = state_ == State::Done && window_.pending() == 0;
    return {bits_.consumed(), produced, finished};
  }

private:
  enum class State {
    BlockHeader,
    StoredHeader,
    Stored,
    TableHeader,
    CodeLengthLengths,
    CodeLengths,
    Literals,
    Distance,
    Copy,
    Done
  };

  // Decodes until the window is full, the stream ends or the input runs out; false when it
  // stopped for input.
  bool run() {
    for (;;) {
      switch (state_) {
        case State::BlockHeader: {
          if (!bits_.ensure(3)) return false;
          lastBlock_ = bits_.take(1) != 0;
          const uint32_t type = bits_.take(2);
          bits_.throwIfPastEnd("Deflate64");
          if (type == 0) {
            state_ = State::StoredHeader;
          } else if (type == 1) {
            useFixedCodes();
            state_ = State::Literals;
          } else if (type == 2) {
            state_ = State::TableHeader;
          } else {
            throw ZipError("corrupt Deflate64 data: invalid block type");
          }
          break;
        }
        case State::StoredHeader: {
          bits_.alignToByte();
          if (!bits_.ensure(32)) return false;
          const uint32_t length = bits_.take(16);
          const uint32_t complement = bits_.take(16);
          bits_.throwIfPastEnd("Deflate64");
          if ((length ^ 0xFFFF) != complement) {
            throw ZipError("corrupt Deflate64 data: stored block length");
          }
          storedLeft_ = length;
          state_ = State::Stored;
          break;
        }
        case State::Stored: {
          while (storedLeft_ > 0) {
            if (window_.room() == 0) return true;
            std::array<std::byte, 4096> chunk;
            const size_t wanted = std::min({storedLeft_, window_.room(), chunk.size()});
            const size_t copied = bits_.copyBytes(chunk.data(), wanted);
            window_.write(chunk.data(), copied);
            storedLeft_ -= copied;
            if (copied < wanted) {
              if (bits_.atEnd()) throw ZipError("Deflate64 data ends too early");
              return false;
            }
          }
          endBlock();
          break;
        }
        case State::TableHeader: {
          if (!bits_.ensure(14)) return false;
          literalCount_ = bits_.take(5) + 257;
          distanceCount_ = bits_.take(5) + 1;
          codeLengthCount_ = bits_.take(4) + 4;
          bits_.throwIfPastEnd("Deflate64");
          lengths_.fill(0);
          tableIndex_ = 0;
          state_ = State::CodeLengthLengths;
          break;
        }
        case State::CodeLengthLengths: {
          while (tableIndex_ < codeLengthCount_) {
            if (!bits_.ensure(3)) return false;
            lengths_[codeLengthOrder[tableIndex_++]] = static_cast<uint8_t>(bits_.take(3));
          }
          bits_.throwIfPastEnd("Deflate64");
          codeLengthCode_.build(std::span(lengths_).first(19));
          lengths_.fill(0);
          tableIndex_ = 0;
          state_ = State::CodeLengths;
          break;
        }
        case State::CodeLengths: {
          if (!readCodeLengths()) return false;
          literalCode_.build(std::span(lengths_).first(literalCount_));
          distanceCode_.build(std::span(lengths_).subspan(literalCount_, distanceCount_));
          state_ = State::Literals;
          break;
        }
        case State::Literals:
          if (!decodeSymbols()) return false;
          if (state_ == State::Literals) return true;  // the window is full
          break;
        case State::Distance:
          if (!decodeDistance()) return false;
          break;
        case State::Copy:
          copyLeft_ -= window_.copy(copyDistance_, copyLeft_);
          if (copyLeft_ > 0) return true;
          state_ = State::Literals;
          break;
        case State::Done:
          return true;
      }
    }
  }

  void endBlock() { state_ = lastBlock_ ? State::Done : State::BlockHeader; }

  void useFixedCodes() {
    std::array<uint8_t, 288> literal{};
    std::fill(literal.begin(), literal.begin() + 144, 8);
    std::fill(literal.begin() + 144, literal.begin() + 256, 9);
    std::fill(literal.begin() + 256, literal.begin() + 280, 7);
    std::fill(literal.begin() + 280, literal.end(), 8);
    literalCode_.build(literal);
    std::array<uint8_t, 32> distance{};
    distance.fill(5);
    distanceCode_.build(distance);
  }

  bool readCodeLengths() {
    const uint32_t total = literalCount_ + distanceCount_;
    while (tableIndex_ < total) {
      if (!bits_.ensure(HuffmanDecoder::maxLength + 7)) return false;
      const unsigned symbol = codeLengthCode_.decode(bits_);
      uint32_t repeat = 1;
      uint8_t value = static_cast<uint8_t>(symbol);
      if (symbol == 16) {
        if (tableIndex_ == 0) throw ZipError("corrupt Deflate64 data: nothing to repeat");
        value = lengths_[tableIndex_ - 1];
        repeat = 3 + bits_.take(2);
      } else if (symbol == 17) {
        value = 0;
        repeat = 3 + bits_.take(3);
      } else if (symbol == 18) {
        value = 0;
        repeat = 11 + bits_.take(7);
      }
      bits_.throwIfPastEnd("Deflate64");
      if (repeat > total - tableIndex_) throw ZipError("corrupt Deflate64 data: too many lengths");
      for (uint32_t i = 0; i < repeat; ++i) lengths_[tableIndex_++] = value;
    }
    if (lengths_[256] == 0) throw ZipError("corrupt Deflate64 data: no end of block code");
    return true;
  }

  // Literals and lengths until the block ends, the window fills or the input runs out.
  bool decodeSymbols() {
    while (window_.room() > 0) {
      // A literal or length code and its extra bits.
      if (!bits_.ensure(HuffmanDecoder::maxLength + 16)) return false;
      const unsigned symbol = literalCode_.decode(bits_);
      if (symbol < 256) {
        bits_.throwIfPastEnd("Deflate64");
        window_.put(static_cast<uint8_t>(symbol));
        continue;
      }
      if (symbol == 256) {
        bits_.throwIfPastEnd("Deflate64");
        endBlock();
        return true;
      }
      if (symbol > 285) throw ZipError("corrupt Deflate64 data: invalid length code");
      const size_t code = symbol - 257;
      copyLeft_ = lengthBase[code] + bits_.take(lengthExtra[code]);
      bits_.throwIfPastEnd("Deflate64");
      state_ = State::Distance;
      if (!decodeDistance()) return false;
      if (state_ != State::Literals) return true;
    }
    return true;
  }

  bool decodeDistance() {
    if (!bits_.ensure(HuffmanDecoder::maxLength + 14)) return false;
    const unsigned symbol = distanceCode_.decode(bits_);
    copyDistance_ = distanceBase[symbol] + bits_.take(distanceExtra[symbol]);
    bits_.throwIfPastEnd("Deflate64");
    if (copyDistance_ > window_.total() || copyDistance_ > windowSize) {
      throw ZipError("corrupt Deflate64 data: distance too far back");
    }
    copyLeft_ -= window_.copy(copyDistance_, copyLeft_);
    state_ = copyLeft_ > 0 ? State::Copy : State::Literals;
    return true;
  }

  BitReader bits_;
  OutputWindow window_{windowSize};
  State state_ = State::BlockHeader;
  bool lastBlock_ = false;
  size_t storedLeft_ = 0;
  uint32_t literalCount_ = 0;
  uint32_t distanceCount_ = 0;
  uint32_t codeLengthCount_ = 0;
  uint32_t tableIndex_ = 0;
  std::array<uint8_t, 288 + 32> lengths_{};
  HuffmanDecoder codeLengthCode_;
  HuffmanDecoder literalCode_;
  HuffmanDecoder distanceCode_;
  size_t copyLeft_ = 0;
  size_t copyDistance_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> makeDeflate64Decoder(const DecoderParameters&) {
  return std::make_unique<Deflate64Decoder>();
}

}  // namespace zip
