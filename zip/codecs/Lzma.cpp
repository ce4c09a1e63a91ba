// Method 14: LZMA through liblzma. The data begins with a 4-byte header (the encoder's version
// and the size of the properties, which must be 5) and the 5 property bytes; the stream then
// ends after the entry's uncompressed size, with or without an end marker (flag bit 1 tells
// which, and liblzma accepts both when it knows the size).
//
// liblzma 5.4.1 (Debian 12) fails with LZMA_DATA_ERROR when its input runs out inside the end
// marker after the known size has been reached, although the rest of the marker would follow.
// So the last bytes before the end of the data are never handed over on their own: before
// the end, the decoder holds back a tail long enough to hold any end marker.
#include <lzma.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "platform/LargeBlock.h"
#include "zip/LittleEndian.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace zip {
namespace {

// The dictionary is allocated whole when the decoder starts, so a hostile size must not
// decide it: it never needs to exceed the entry's size, and beyond this cap we refuse.
constexpr uint32_t maxDictionarySize = 256u << 20;
constexpr uint32_t minDictionarySize = 4096;
constexpr uint16_t propertiesSize = 5;

// The dictionary is one block of up to the entry's size, allocated per entry. Large blocks
// are taken from the system on their own and given back when freed (platform::LargeBlock), so
// that peak memory is one dictionary however many entries come one after another.
struct alignas(std::max_align_t) BlockHeader {
  size_t largeBlockSize;  // 0: from malloc
};
constexpr size_t largeBlockThreshold = 1u << 20;

void* allocateBlock(void*, size_t count, size_t size) {
  if (size != 0 && count > (SIZE_MAX - sizeof(BlockHeader)) / size) return nullptr;
  const size_t total = count * size + sizeof(BlockHeader);
  const bool large = total >= largeBlockThreshold;
  void* block = large ? platform::allocateLargeBlock(total, platform::PageUse::Sequential)
                      : std::malloc(total);
  if (block == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(block);
  header->largeBlockSize = large ? total : 0;
  return header + 1;
}

void freeBlock(void*, void* address) {
  if (address == nullptr) return;
  auto* header = static_cast<BlockHeader*>(address) - 1;
  if (header->largeBlockSize != 0) {
    platform::releaseLargeBlock(header, header->largeBlockSize);
  } else {
    std::free(header);
  }
}

const lzma_allocator blockAllocator{allocateBlock, freeBlock, nullptr};

class LzmaDecoder final : public Decoder {
public:
  explicit LzmaDecoder(uint64_t uncompressedSize) : uncompressedSize_(uncompressedSize) {
    stream_.allocator = &blockAllocator;
  }
  ~LzmaDecoder() override { lzma_end(&stream_); }
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    size_t headerTaken = 0;
    if (headerLength_ < header_.size()) {
      headerTaken = std::min(input.size(), header_.size() - headerLength_);
      std::copy_n(input.begin(), headerTaken, header_.begin() + headerLength_);
      headerLength_ += headerTaken;
      input = input.subspan(headerTaken);
      if (headerLength_ < header_.size()) {
        if (inputEnded) throw ZipError("LZMA data ends inside its header");
        return {headerTaken, 0, false};
      }
      start();
    }
    // An end marker with the range coder's flush takes at most a dozen bytes.
    constexpr size_t heldBack = 32;
    static_assert(heldBack <= maxHeldBack);
    if (!inputEnded) input = input.first(input.size() > heldBack ? input.size() - heldBack : 0);
    stream_.next_in = reinterpret_cast<const uint8_t*>(input.data());
    stream_.avail_in = input.size();
    stream_.next_out = reinterpret_cast<uint8_t*>(output.data());
    stream_.avail_out = output.size();
    const lzma_ret result = lzma_code(&stream_, inputEnded ? LZMA_FINISH : LZMA_RUN);
    const DecodeStep step{headerTaken + input.size() - stream_.avail_in,
                          output.size() - stream_.avail_out, result == LZMA_STREAM_END};
    if (result != LZMA_OK && result != LZMA_STREAM_END && result != LZMA_BUF_ERROR) {
      throw ZipError("corrupt LZMA data (liblzma error " + std::to_string(result) + ")");
    }
    if (!step.finished && inputEnded && stream_.avail_in == 0 && step.produced == 0) {
      throw ZipError("LZMA data ends too early");
    }
    return step;
  }

private:
  void start() {
    const auto* bytes = reinterpret_cast<const uint8_t*>(header_.data());
    if (readLe16(bytes + 2) != propertiesSize) {
      throw ZipError("unexpected LZMA properties size");
    }
    const uint8_t packed = bytes[4];
    if (packed >= 9 * 5 * 5) throw ZipError("invalid LZMA properties");
    const uint32_t declaredDictionary = readLe32(bytes + 5);
    const auto neededDictionary = static_cast<uint32_t>(std::clamp<uint64_t>(
        uncompressedSize_, minDictionarySize, std::max(declaredDictionary, minDictionarySize)));
    if (neededDictionary > maxDictionarySize) throw ZipError("LZMA dictionary too large");

    lzma_options_lzma options{};
    options.dict_size = neededDictionary;
    options.lc = packed % 9;
    options.lp = (packed / 9) % 5;
    options.pb = packed / 45;
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<uint32_t>(uncompressedSize_);
    options.ext_size_high = static_cast<uint32_t>(uncompressedSize_ >> 32);
    const std::array<lzma_filter, 2> filters{
        lzma_filter{LZMA_FILTER_LZMA1EXT, &options},
        lzma_filter{LZMA_VLI_UNKNOWN, nullptr},
    };
    const lzma_ret result = lzma_raw_decoder(&stream_, filters.data());
    if (result != LZMA_OK) {
      throw ZipError("liblzma could not start (error " + std::to_string(result) + ")");
    }
  }

  static constexpr size_t headerSize = 4 + propertiesSize;
  uint64_t uncompressedSize_;
  std::array<std::byte, headerSize> header_{};
  size_t headerLength_ = 0;
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

}  // namespace

std::unique_ptr<Decoder> makeLzmaDecoder(const DecoderParameters& parameters) {
  return std::make_unique<LzmaDecoder>(parameters.uncompressedSize);
}

}  // namespace zip
