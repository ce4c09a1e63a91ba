// Method 97: WavPack, through Debian's libwavpack. The entry holds a WavPack stream: blocks of
// a 32-byte header ("wvpk", size, flags...) and metadata sub-blocks. The original file's
// header (a RIFF WAV header, or another format's) and trailer travel as metadata; the audio
// comes back as samples that are written again in the file's own layout.
//
// libwavpack reads a file through callbacks that pull data, which a decoder fed by the caller
// cannot serve; so the blocks are cut out of the stream here and each frame (the blocks of one
// stretch of samples, one per channel pair) is decoded from memory by WavpackOpenRawDecoder.
// The wrapper sub-blocks are read here too: the library does not open blocks without samples,
// which is where the encoder puts the trailer. Memory: one frame (at most maxFrameSize) and
// the decoded samples of one call to the library.
#include <wavpack/wavpack.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "zip/LittleEndian.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace zip {
namespace {

constexpr size_t blockHeaderSize = 32;
// A frame larger than this is refused: it bounds what one entry holds in memory. The encoder
// keeps blocks far smaller (about a second of audio per channel pair).
constexpr size_t maxFrameSize = 16u << 20;
// Samples decoded at a time, over all channels: bounds the buffers of decoded audio.
constexpr uint32_t samplesPerUnpack = 256 * 1024;

struct ContextCloser {
  void operator()(WavpackContext* context) const { WavpackCloseFile(context); }
};
using Context = std::unique_ptr<WavpackContext, ContextCloser>;

class WavPackDecoder final : public Decoder {
public:
  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    size_t consumed = 0;
    size_t produced = 0;
    for (;;) {
      produced += emit(output.subspan(produced));
      if (produced == output.size()) break;
      if (context_) {
        unpack();
        continue;
      }
      if (!trailer_.empty() && frame_.empty()) {
        pending_ = std::move(trailer_);
        trailer_.clear();
        pendingAt_ = 0;
        continue;
      }
      // Gather the next block.
      const size_t length = frame_.size() - blockStart_;
      const size_t wanted = length < blockHeaderSize ? blockHeaderSize : blockSize_;
      const size_t take = std::min(wanted - length, input.size() - consumed);
      frame_.insert(frame_.end(), input.begin() + static_cast<std::ptrdiff_t>(consumed),
                    input.begin() + static_cast<std::ptrdiff_t>(consumed + take));
      consumed += take;
      if (frame_.size() - blockStart_ == blockHeaderSize && blockSize_ == 0) readBlockHeader();
      if (blockSize_ != 0 && frame_.size() - blockStart_ == blockSize_) {
        takeBlock();
        continue;
      }
      if (consumed < input.size()) continue;
      if (inputEnded) {
        if (!frame_.empty()) throw ZipError("WavPack data ends too early");
        finished_ = true;
      }
      break;
    }
    return {consumed, produced, finished_ && pending_.size() == pendingAt_};
  }

private:
  void readBlockHeader() {
    const std::span<const std::byte> header = block();
    if (std::memcmp(header.data(), "wvpk", 4) != 0) throw ZipError("corrupt WavPack data");
    const uint32_t size = readLe32(header.data() + 4);
    if (size < blockHeaderSize - 8 || size + 8 > maxFrameSize - blockStart_) {
      throw ZipError("corrupt WavPack data: block size");
    }
    blockSize_ = size + 8;
  }

  // A whole block is in: it joins its frame, and a frame complete is opened.
  void takeBlock() {
    const auto* header = reinterpret_cast<const uint8_t*>(block().data());
    const uint32_t samples = readLe32(header + 20);
    const uint32_t flags = readLe32(header + 24);
    readWrapper(samples == 0);
    if (samples == 0) {
      // Metadata alone (the trailer, the MD5 sum): no audio to decode.
      frame_.resize(blockStart_);
      blockSize_ = 0;
      return;
    }
    if (blockStart_ == 0) version_ = static_cast<int16_t>(readLe16(header + 8));
    blockStart_ = frame_.size();
    blockSize_ = 0;
    if ((flags & FINAL_BLOCK) == 0) return;

    std::array<char, 80> error{};
    context_.reset(WavpackOpenRawDecoder(frame_.data(), static_cast<int32_t>(frame_.size()),
                                         nullptr, 0, version_, error.data(), 0, 0));
    if (!context_) throw ZipError(std::string("corrupt WavPack data: ") + error.data());
    const int mode = WavpackGetMode(context_.get());
    const int qualify = WavpackGetQualifyMode(context_.get());
    if ((qualify & (QMODE_DSD_AUDIO | QMODE_REORDERED_CHANS)) != 0) {
      throw ZipError("WavPack DSD audio and reordered channels are not supported");
    }
    bytesPerSample_ = WavpackGetBytesPerSample(context_.get());
    channels_ = WavpackGetNumChannels(context_.get());
    if (bytesPerSample_ < 1 || bytesPerSample_ > 4 || channels_ < 1 ||
        ((mode & MODE_FLOAT) != 0 && bytesPerSample_ != 4)) {
      throw ZipError("unsupported WavPack sample format");
    }
    bigEndian_ = (qualify & QMODE_BIG_ENDIAN) != 0;
    signedBytes_ = (qualify & QMODE_SIGNED_BYTES) != 0;
    unsignedWords_ = (qualify & QMODE_UNSIGNED_WORDS) != 0 && (mode & MODE_FLOAT) == 0;
    frameSamples_ = readLe32(reinterpret_cast<const uint8_t*>(frame_.data()) + 20);
    unpacked_ = 0;
  }

  // The wrapper sub-blocks of the block: the header goes out before the block's samples, the
  // trailer after them.
  void readWrapper(bool noSamples) {
    const std::span<const std::byte> bytes = block();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t at = blockHeaderSize;
    while (at + 2 <= bytes.size()) {
      const uint8_t id = data[at];
      size_t words = data[at + 1];
      size_t headerLength = 2;
      if ((id & ID_LARGE) != 0) {
        if (at + 4 > bytes.size()) throw ZipError("corrupt WavPack metadata");
        words |= static_cast<size_t>(data[at + 2]) << 8 | static_cast<size_t>(data[at + 3]) << 16;
        headerLength = 4;
      }
      const size_t stored = words * 2;
      const size_t length = (id & ID_ODD_SIZE) != 0 && stored > 0 ? stored - 1 : stored;
      if (at + headerLength + stored > bytes.size()) throw ZipError("corrupt WavPack metadata");
      const auto* body = bytes.data() + at + headerLength;
      const uint8_t kind = id & ID_UNIQUE;
      if (kind == ID_RIFF_HEADER || kind == ID_ALT_HEADER) {
        pending_.insert(pending_.end(), body, body + length);
      } else if (kind == ID_RIFF_TRAILER || kind == ID_ALT_TRAILER) {
        trailer_.insert(trailer_.end(), body, body + length);
      }
      at += headerLength + stored;
    }
    if (noSamples && !trailer_.empty()) {
      pending_.insert(pending_.end(), trailer_.begin(), trailer_.end());
      trailer_.clear();
    }
  }

  // Decodes the next samples of the open frame into pending_.
  void unpack() {
    const uint32_t count =
        std::min(std::max(samplesPerUnpack / static_cast<uint32_t>(channels_), 1u),
                 frameSamples_ - unpacked_);
    if (count == 0) {
      if (WavpackGetNumErrors(context_.get()) != 0) throw ZipError("corrupt WavPack data");
      context_.reset();
      frame_.clear();
      blockStart_ = 0;
      return;
    }
    samples_.resize(static_cast<size_t>(count) * static_cast<size_t>(channels_));
    const uint32_t got = WavpackUnpackSamples(context_.get(), samples_.data(), count);
    if (got != count || WavpackGetNumErrors(context_.get()) != 0) {
      throw ZipError("corrupt WavPack data");
    }
    unpacked_ += got;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_));
    pendingAt_ = 0;
    const size_t width = static_cast<size_t>(bytesPerSample_);
    const size_t start = pending_.size();
    pending_.resize(start + samples_.size() * width);
    std::byte* out = pending_.data() + start;
    for (const int32_t sample : samples_) {
      auto value = static_cast<uint32_t>(sample);
      if (width == 1) {
        *out++ = static_cast<std::byte>(signedBytes_ ? value : value + 128);
        continue;
      }
      if (unsignedWords_) value ^= 1u << (width * 8 - 1);
      for (size_t i = 0; i < width; ++i) {
        const size_t shift = 8 * (bigEndian_ ? width - 1 - i : i);
        *out++ = static_cast<std::byte>(value >> shift);
      }
    }
  }

  std::span<const std::byte> block() const { return std::span(frame_).subspan(blockStart_); }

  size_t emit(std::span<std::byte> output) {
    const size_t count = std::min(output.size(), pending_.size() - pendingAt_);
    if (count > 0) std::memcpy(output.data(), pending_.data() + pendingAt_, count);
    pendingAt_ += count;
    if (pendingAt_ == pending_.size()) {
      pending_.clear();
      pendingAt_ = 0;
    }
    return count;
  }

  // The blocks of the frame being gathered or decoded, the one coming in last.
  std::vector<std::byte> frame_;
  size_t blockStart_ = 0;  // where the block coming in begins
  size_t blockSize_ = 0;   // its whole size, once its header is in
  int16_t version_ = 0;
  Context context_;
  uint32_t frameSamples_ = 0;
  uint32_t unpacked_ = 0;
  int bytesPerSample_ = 0;
  int channels_ = 0;
  bool bigEndian_ = false;
  bool signedBytes_ = false;
  bool unsignedWords_ = false;
  std::vector<int32_t> samples_;
  std::vector<std::byte> pending_;  // decoded bytes not yet handed on
  size_t pendingAt_ = 0;
  std::vector<std::byte> trailer_;  // the file's trailer, once the frame's samples are out
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<Decoder> makeWavPackDecoder(const DecoderParameters&) {
  return std::make_unique<WavPackDecoder>();
}

}  // namespace zip
