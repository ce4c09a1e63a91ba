// Method 98: PPMd variant I, revision 1. The data begins with two bytes that give the model
// order (low 4 bits + 1), its memory in MiB (next 8 bits + 1) and the restoration method (top
// 4 bits); then comes the range-coded stream, usually closed by an end marker.
//
// The decoder is libarchive's (Debian's libarchive13): of the libraries in Debian it is the one
// that exports a decoder of this variant, and only through its archive reader. So the entry's
// data goes to that reader behind a local header made here, and libarchive's own checks of
// sizes and CRC-32 are left to the pipeline, which makes them for every method.
//
// libarchive pulls its input through a callback, while this interface is fed by its caller:
// the reader runs on a thread of its own that the decoder feeds through two bounded buffers.
// Memory is the model's (at most 256 MiB, as the entry declares) and those buffers.
#include <archive.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace zip {
namespace {

constexpr size_t inputCapacity = 256 * 1024;
constexpr size_t outputCapacity = 256 * 1024;

void putLe(std::vector<std::byte>& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<std::byte>(value >> (8 * i)));
}

// A local file header for one unencrypted PPMd entry of the given size, named "x". The
// compressed size is not known here; libarchive needs none, since the data ends by itself.
std::vector<std::byte> localHeader(uint64_t size) {
  std::vector<std::byte> header;
  putLe(header, 0x04034b50, 4);
  putLe(header, 63, 2);      // version needed
  putLe(header, 0, 2);       // flags
  putLe(header, Ppmd, 2);    // method
  putLe(header, 0, 2);       // time
  putLe(header, 0x0021, 2);  // date: 1980-01-01
  putLe(header, 0, 4);       // CRC-32: checked by the pipeline
  putLe(header, 0xFFFFFFFE, 4);
  putLe(header, std::min<uint64_t>(size, 0xFFFFFFFE), 4);
  putLe(header, 1, 2);  // name length
  putLe(header, 0, 2);  // extra length
  header.push_back(std::byte{'x'});
  return header;
}

class PpmdDecoder final : public Decoder {
public:
  explicit PpmdDecoder(uint64_t size) : size_(size), header_(localHeader(size)) {}

  ~PpmdDecoder() override {
    {
      std::lock_guard lock(mutex_);
      aborted_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
  }
  PpmdDecoder(const PpmdDecoder&) = delete;
  PpmdDecoder& operator=(const PpmdDecoder&) = delete;

  DecodeStep decode(std::span<const std::byte> input, bool inputEnded,
                    std::span<std::byte> output) override {
    if (!worker_.joinable()) worker_ = std::thread(&PpmdDecoder::work, this);
    std::unique_lock lock(mutex_);
    size_t consumed = 0;
    size_t produced = 0;
    for (;;) {
      const size_t count = std::min(output.size() - produced, out_.size() - outAt_);
      if (count > 0) {
        std::memcpy(output.data() + produced, out_.data() + outAt_, count);
        produced += count;
        outAt_ += count;
        if (outAt_ == out_.size()) {
          out_.clear();
          outAt_ = 0;
        }
        changed_.notify_all();
      }
      if (failure_) throw ZipError(*failure_);

      const size_t take = std::min(inputCapacity - (in_.size() - inAt_), input.size() - consumed);
      if (take > 0) {
        if (inAt_ > 0) {
          in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(inAt_));
          inAt_ = 0;
        }
        in_.insert(in_.end(), input.begin() + static_cast<std::ptrdiff_t>(consumed),
                   input.begin() + static_cast<std::ptrdiff_t>(consumed + take));
        consumed += take;
        changed_.notify_all();
      }
      if (inputEnded && consumed == input.size() && !inputEnded_) {
        inputEnded_ = true;
        changed_.notify_all();
      }

      const bool outputLeft = outAt_ < out_.size();
      if (done_ && !outputLeft) return {consumed, produced, true};
      if (produced > 0 || consumed > 0) return {consumed, produced, false};
      // The reader waits for data that only the caller can give.
      if (hungry_ && inAt_ == in_.size() && !inputEnded_) return {consumed, produced, false};
      changed_.wait(lock);
    }
  }

private:
  struct ArchiveFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
  };

  // The reader's thread: opens the made-up archive and decodes its one entry into out_.
  void work() {
    std::optional<std::string> failure;
    try {
      std::unique_ptr<archive, ArchiveFree> reader(archive_read_new());
      if (!reader) throw ZipError("libarchive could not start");
      archive_read_support_format_zip_streamable(reader.get());
      // The pipeline checks the CRC-32, which this made-up header cannot hold.
      archive_read_set_format_option(reader.get(), "zip", "ignorecrc32", "1");
      if (archive_read_open(reader.get(), this, nullptr, &PpmdDecoder::read, nullptr) !=
          ARCHIVE_OK) {
        throw ZipError(errorOf(reader.get()));
      }
      archive_entry* entry = nullptr;
      if (archive_read_next_header(reader.get(), &entry) < ARCHIVE_WARN) {
        throw ZipError(errorOf(reader.get()));
      }
      uint64_t decoded = 0;
      // libarchive decodes up to the end marker; what lies beyond the entry's size is not
      // handed on. Its checks of the sizes end in a warning that comes with the last block.
      for (;;) {
        const void* block = nullptr;
        size_t length = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader.get(), &block, &length, &offset);
        if (status == ARCHIVE_EOF) break;
        if (status < ARCHIVE_WARN) throw ZipError(errorOf(reader.get()));
        const auto count = static_cast<size_t>(std::min<uint64_t>(length, size_ - decoded));
        if (count > 0 && !deliver({static_cast<const std::byte*>(block), count})) return;
        decoded += count;
        if (status == ARCHIVE_WARN || decoded == size_) break;
      }
    } catch (const std::exception& error) {
      failure = error.what();
    }
    std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
    done_ = true;
    changed_.notify_all();
  }

  static std::string errorOf(archive* reader) {
    const char* text = archive_error_string(reader);
    return std::string("corrupt PPMd data: ") + (text != nullptr ? text : "libarchive error");
  }

  // Hands decoded bytes to decode(), waiting while its buffer is full; false when aborted.
  bool deliver(std::span<const std::byte> data) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return aborted_ || out_.size() - outAt_ < outputCapacity; });
    if (aborted_) return false;
    if (outAt_ > 0) {
      out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outAt_));
      outAt_ = 0;
    }
    out_.insert(out_.end(), data.begin(), data.end());
    changed_.notify_all();
    return true;
  }

  // libarchive's read callback: the local header first, then the entry's data as it comes.
  static la_ssize_t read(archive*, void* self, const void** buffer) {
    auto& decoder = *static_cast<PpmdDecoder*>(self);
    if (!decoder.headerGiven_) {
      decoder.headerGiven_ = true;
      *buffer = decoder.header_.data();
      return static_cast<la_ssize_t>(decoder.header_.size());
    }
    std::unique_lock lock(decoder.mutex_);
    decoder.hungry_ = true;
    decoder.changed_.notify_all();
    decoder.changed_.wait(lock, [&] {
      return decoder.aborted_ || decoder.inAt_ < decoder.in_.size() || decoder.inputEnded_;
    });
    decoder.hungry_ = false;
    if (decoder.aborted_) return ARCHIVE_FATAL;
    // The callback's buffer stays libarchive's until the next call.
    decoder.handed_.assign(decoder.in_.begin() + static_cast<std::ptrdiff_t>(decoder.inAt_),
                           decoder.in_.end());
    decoder.in_.clear();
    decoder.inAt_ = 0;
    decoder.changed_.notify_all();
    *buffer = decoder.handed_.data();
    return static_cast<la_ssize_t>(decoder.handed_.size());
  }

  const uint64_t size_;
  const std::vector<std::byte> header_;
  std::thread worker_;

  // Shared between decode() and the reader's thread.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::byte> in_;  // input not yet taken by the reader
  size_t inAt_ = 0;
  bool inputEnded_ = false;
  std::vector<std::byte> out_;  // output not yet handed on
  size_t outAt_ = 0;
  bool hungry_ = false;  // the reader waits for input
  bool done_ = false;
  bool aborted_ = false;
  std::optional<std::string> failure_;

  // The reader's thread only.
  bool headerGiven_ = false;
  std::vector<std::byte> handed_;
};

}  // namespace

std::unique_ptr<Decoder> makePpmdDecoder(const DecoderParameters& parameters) {
  return std::make_unique<PpmdDecoder>(parameters.uncompressedSize);
}

}  // namespace zip
