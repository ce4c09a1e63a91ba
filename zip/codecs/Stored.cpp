// Method 0: the data as it is.
#include <algorithm>
#include <cstring>

#include "zip/codecs/Codecs.h"

namespace zip {
namespace {

class StoredDecoder final : public Decoder {
public:
  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    const size_t count = std::min(input.size(), output.size());
    if (count > 0) std::memcpy(output.data(), input.data(), count);
    return {count, count, inputEnded && count == input.size()};
  }
};

}  // namespace

std::unique_ptr<Decoder> makeStoredDecoder(const DecoderParameters&) {
  return std::make_unique<StoredDecoder>();
}

}  // namespace zip
