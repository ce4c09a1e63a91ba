// Method 8: raw deflate (RFC 1951) through zlib.
#include <zlib.h>

#include <algorithm>
#include <string>

#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace zip {
namespace {

class InflateDecoder final : public Decoder {
public:
  InflateDecoder() {
    // Negative window bits: raw deflate data, no zlib header or trailer.
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw ZipError("zlib could not start");
  }
  ~InflateDecoder() override { inflateEnd(&stream_); }
  InflateDecoder(const InflateDecoder&) = delete;
  InflateDecoder& operator=(const InflateDecoder&) = delete;

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    // zlib counts in 32 bits; the caller's buffers are far smaller, but stay safe.
    const auto inSize = static_cast<uInt>(std::min<size_t>(input.size(), UINT32_MAX));
    const auto outSize = static_cast<uInt>(std::min<size_t>(output.size(), UINT32_MAX));
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(input.data()));
    stream_.avail_in = inSize;
    stream_.next_out = reinterpret_cast<Bytef*>(output.data());
    stream_.avail_out = outSize;
    const int result = inflate(&stream_, Z_NO_FLUSH);
    DecodeStep step{inSize - stream_.avail_in, outSize - stream_.avail_out, result == Z_STREAM_END};
    if (result == Z_STREAM_END || result == Z_OK) return step;
    if (result == Z_BUF_ERROR) {
      // No progress was possible: fine while more input is to come, truncation otherwise.
      if (inputEnded) throw ZipError("deflate data ends too early");
      return step;
    }
    throw ZipError(std::string("corrupt deflate data: ") +
                   (stream_.msg != nullptr ? stream_.msg : "zlib error"));
  }

private:
  z_stream stream_{};
};

}  // namespace

std::unique_ptr<Decoder> makeInflateDecoder(const DecoderParameters&) {
  return std::make_unique<InflateDecoder>();
}

}  // namespace zip
