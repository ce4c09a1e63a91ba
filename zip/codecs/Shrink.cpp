// Method 1: shrink, the dynamic LZW of PKZIP 1. Codes of 9 to 13 bits; code 256 escapes a
// control code: 1 widens the codes by one bit, 2 frees every code that is no prefix of another
// (the partial clear). New strings take the lowest free code. The data has no end code: it
// ends with the entry's size.
//
// After a partial clear a code may name a string whose prefix has been freed, and a code may
// be read before it is defined (the string before it plus its own first byte). Both read the
// way PKZIP wrote them when a free code met on the way stands for the previous string plus the
// first byte of that string.
#include <array>

#include "zip/ZipError.h"
#include "zip/codecs/BitReader.h"
#include "zip/codecs/Codecs.h"
#include "zip/codecs/OutputWindow.h"
#include "zip/codecs/ShrinkTable.h"

namespace zip {
namespace {

constexpr unsigned firstCodeBits = 9;
constexpr unsigned lastCodeBits = 13;
constexpr size_t tableSize = size_t{1} << lastCodeBits;
static_assert(tableSize == ShrinkTable::kSize);
constexpr uint16_t control = 256;
constexpr uint16_t noCode = 0xFFFF;  // in previous_: no code read yet

class ShrinkDecoder final : public Decoder {
public:
  explicit ShrinkDecoder(uint64_t size) : size_(size) {}

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    bits_.setInput(input, inputEnded);
    size_t produced = window_.flush(output);
    while (window_.total() < size_ && window_.room() >= tableSize) {
      if (!step()) break;
      if (window_.room() < tableSize) produced += window_.flush(output.subspan(produced));
    }
    produced += window_.flush(output.subspan(produced));
    return {bits_.consumed(), produced, window_.total() >= size_ && window_.pending() == 0};
  }

private:
  // Reads one code and writes its string; false when the input runs out first.
  bool step() {
    // A code, or the escape and its control code.
    if (!bits_.ensure(2 * codeBits_)) return false;
    const uint32_t code = bits_.take(codeBits_);
    if (code == control) {
      const uint32_t action = bits_.take(codeBits_);
      bits_.throwIfPastEnd("shrunk");
      if (action == 1) {
        if (++codeBits_ > lastCodeBits) throw ZipError("corrupt shrunk data: codes too wide");
      } else if (action == 2) {
        table_.clearLeaves();
      } else {
        throw ZipError("corrupt shrunk data: unknown control code");
      }
      return true;
    }
    bits_.throwIfPastEnd("shrunk");
    if (previous_ == noCode) {
      if (code > 255) throw ZipError("corrupt shrunk data: first code is no byte");
      previous_ = static_cast<uint16_t>(code);
      first_ = static_cast<uint8_t>(code);
      window_.put(first_);
      return true;
    }

    // The string, last byte first.
    size_t length = 0;
    uint16_t at = static_cast<uint16_t>(code);
    while (at != ShrinkTable::kByte) {
      if (length == stack_.size()) throw ZipError("corrupt shrunk data: endless string");
      if (table_.prefix(at) == ShrinkTable::kFree) {
        stack_[length++] = first_;
        at = previous_;
      } else {
        stack_[length++] = table_.last(at);
        at = table_.prefix(at);
      }
    }
    first_ = stack_[length - 1];
    while (length > 0) window_.put(stack_[--length]);

    // The previous string plus this one's first byte becomes the lowest free code. A full
    // table takes nothing more until a partial clear.
    table_.add(previous_, first_);
    previous_ = static_cast<uint16_t>(code);
    return true;
  }

  uint64_t size_;
  BitReader bits_;
  OutputWindow window_{tableSize};
  unsigned codeBits_ = firstCodeBits;
  ShrinkTable table_;
  std::array<uint8_t, tableSize> stack_{};
  uint16_t previous_ = noCode;  // the code read last
  uint8_t first_ = 0;           // the first byte of the string written last
};

}  // namespace

std::unique_ptr<Decoder> makeShrinkDecoder(const DecoderParameters& parameters) {
  return std::make_unique<ShrinkDecoder>(parameters.uncompressedSize);
}

}  // namespace zip
