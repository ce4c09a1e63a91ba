// Method 98: PPMd variant I, revision 1. The data begins with two little-endian bytes that give
// the model order (low 4 bits + 1, at least 2), its memory in MiB (next 8 bits + 1) and the
// restoration method (top 4 bits: 0 restart, 1 cut off; 2, "freeze", is not allowed in ZIP).
// Then comes the range-coded stream. 7-Zip closes it with an end marker; the entry's size
// decides where we stop, so an end marker before it means the data was cut short.
//
// Written here (the model in PpmdModel, its memory in PpmdAllocator, the range decoder in
// PpmdRangeDecoder): the one library in Debian that decodes this variant, libarchive, does so
// only inside its own archive reader, which had to be fed from a thread of its own. Ours needs
// neither the thread nor the library, so it builds for Windows too. Memory is the model the
// entry declares, allocated once, and a buffer of input.
//
// A symbol's model update cannot stop halfway, so the decoder takes its input into a buffer
// of its own and decodes a symbol only while enough bytes for the longest one are there, or
// the input has ended.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"
#include "zip/codecs/PpmdModel.h"
#include "zip/codecs/PpmdRangeDecoder.h"

namespace zip {
namespace {

// The most input one symbol can take: at most 257 intervals (the first context's, then one an
// escape, each to a context of more states), each followed by at most 5 bytes of
// normalisation.
constexpr size_t symbolReserve = 2048;
constexpr size_t bufferSize = 64 * 1024;
constexpr size_t headerSize = 2 + 4;  // the parameters, the range decoder's first bytes

class PpmdDecoder final : public Decoder {
public:
  explicit PpmdDecoder(uint64_t size) : size_(size), buffer_(bufferSize) {}

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    if (decoded_ == size_) return {0, 0, true};
    if (start_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
      end_ -= start_;
      start_ = 0;
    }
    const size_t taken = std::min(input.size(), bufferSize - end_);
    if (taken > 0) std::memcpy(buffer_.data() + end_, input.data(), taken);
    end_ += taken;
    const bool ended = inputEnded && taken == input.size();

    if (!model_ && !startModel(ended)) return {taken, 0, false};

    const uint8_t* data = buffer_.data();
    rc_.next = data + start_;
    rc_.end = data + end_;
    size_t produced = 0;
    ppmd::Stop stop = ppmd::Stop::none;
    if (ended || end_ - start_ > symbolReserve) {
      // Input that has not ended keeps a whole symbol's worth in reserve.
      const uint8_t* limit = ended ? rc_.end : rc_.end - symbolReserve;
      const auto wanted = static_cast<size_t>(std::min<uint64_t>(output.size(), size_ - decoded_));
      produced =
          model_->decode(rc_, reinterpret_cast<uint8_t*>(output.data()), wanted, limit, stop);
    }
    start_ = static_cast<size_t>(rc_.next - data);
    if (rc_.overrun != 0) throw ZipError("PPMd data ends too early");
    if (stop == ppmd::Stop::endMarker) {
      throw ZipError("PPMd data ends before the entry's size is reached");
    }
    if (stop == ppmd::Stop::corrupt) throw ZipError("corrupt PPMd data");
    decoded_ += produced;
    return {taken, produced, decoded_ == size_};
  }

private:
  // Reads the parameters and the first bytes of the range coder; false while they are not all
  // there yet.
  bool startModel(bool ended) {
    if (end_ - start_ < headerSize) {
      if (ended) throw ZipError("PPMd data ends too early");
      return false;
    }
    const uint8_t* header = buffer_.data() + start_;
    const unsigned parameters = header[0] | (header[1] << 8);
    const unsigned order = (parameters & 0x0F) + 1;
    const uint32_t memory = (((parameters >> 4) & 0xFF) + 1) << 20;
    const unsigned restoration = parameters >> 12;
    if (order < ppmd::minOrder) throw ZipError("corrupt PPMd data: model order 1");
    if (restoration > 1) {
      throw ZipError("corrupt PPMd data: restoration method " + std::to_string(restoration));
    }
    try {
      model_ = std::make_unique<ppmd::Model>(
          order, memory, restoration == 0 ? ppmd::Restoration::restart : ppmd::Restoration::cutOff);
    } catch (const std::bad_alloc&) {
      throw ZipError("not enough memory for the PPMd model of " + std::to_string(memory >> 20) +
                     " MiB");
    }
    rc_.next = header + 2;
    rc_.end = buffer_.data() + end_;
    if (!rc_.start()) throw ZipError("corrupt PPMd data: invalid start of the range coder");
    start_ += headerSize;
    return true;
  }

  const uint64_t size_;
  uint64_t decoded_ = 0;
  std::vector<uint8_t> buffer_;
  size_t start_ = 0;  // input taken but not yet read: [start_, end_)
  size_t end_ = 0;
  std::unique_ptr<ppmd::Model> model_;
  ppmd::RangeDecoder rc_;
};

}  // namespace

std::unique_ptr<Decoder> makePpmdDecoder(const DecoderParameters& parameters) {
  return std::make_unique<PpmdDecoder>(parameters.uncompressedSize);
}

}  // namespace zip
