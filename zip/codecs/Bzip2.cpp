// Method 12: bzip2 through libbz2.
#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <string>

#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace zip {
namespace {

class Bzip2Decoder final : public Decoder {
public:
  Bzip2Decoder() {
    if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw ZipError("libbz2 could not start");
  }
  ~Bzip2Decoder() override { BZ2_bzDecompressEnd(&stream_); }
  Bzip2Decoder(const Bzip2Decoder&) = delete;
  Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    const auto inSize = static_cast<unsigned>(std::min<size_t>(input.size(), UINT_MAX));
    const auto outSize = static_cast<unsigned>(std::min<size_t>(output.size(), UINT_MAX));
    stream_.next_in = reinterpret_cast<char*>(const_cast<std::byte*>(input.data()));
    stream_.avail_in = inSize;
    stream_.next_out = reinterpret_cast<char*>(output.data());
    stream_.avail_out = outSize;
    const int result = BZ2_bzDecompress(&stream_);
    const DecodeStep step{inSize - stream_.avail_in, outSize - stream_.avail_out,
                          result == BZ_STREAM_END};
    if (result != BZ_OK && result != BZ_STREAM_END) {
      throw ZipError("corrupt bzip2 data (libbz2 error " + std::to_string(result) + ")");
    }
    // libbz2 reports no error for a stream cut short: it just waits for more input.
    if (!step.finished && inputEnded && stream_.avail_in == 0 && step.produced == 0) {
      throw ZipError("bzip2 data ends too early");
    }
    return step;
  }

private:
  bz_stream stream_{};
};

}  // namespace

std::unique_ptr<Decoder> makeBzip2Decoder(const DecoderParameters&) {
  return std::make_unique<Bzip2Decoder>();
}

}  // namespace zip
