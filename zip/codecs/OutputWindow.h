// The sliding dictionary of the LZ77 and LZW methods written here, which is also their output
// buffer: a codec writes what it decodes into the window, and decode() hands it on from there
// as the caller's output has room. Its size is fixed when the decoder starts, so memory does
// not depend on the entry.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace zip {

class OutputWindow {
public:
  // dictionary: the farthest distance a copy may reach back. The window holds four times as
  // much, so that each call decodes long runs before it has to hand them on.
  explicit OutputWindow(size_t dictionary)
      : size_(std::bit_ceil(std::max<size_t>(dictionary, 4096)) * 4),
        mask_(size_ - 1),
        buffer_(std::make_unique<std::byte[]>(size_)) {}

  // How many bytes may be written before the next flush.
  size_t room() const { return size_ - static_cast<size_t>(total_ - flushed_); }
  // Bytes written since the start.
  uint64_t total() const { return total_; }
  // Bytes written but not yet handed on.
  size_t pending() const { return static_cast<size_t>(total_ - flushed_); }

  void put(std::byte value) { buffer_[total_++ & mask_] = value; }
  void put(uint8_t value) { put(static_cast<std::byte>(value)); }

  // The byte `distance` back from the end (1: the last one written); zero before the start,
  // as the old compressors assumed. distance must not exceed the dictionary.
  std::byte at(size_t distance) const { return buffer_[(total_ - distance) & mask_]; }

  // Writes bytes taken straight from the input, up to room().
  size_t write(const std::byte* data, size_t count) {
    count = std::min(count, room());
    for (size_t done = 0; done < count;) {
      const size_t at = total_ & mask_;
      const size_t part = std::min(count - done, size_ - at);
      std::memcpy(&buffer_[at], data + done, part);
      done += part;
      total_ += part;
    }
    return count;
  }

  // Repeats `length` bytes from `distance` back (overlapping when distance < length), up to
  // room(); returns how many were written. Reaching before the start gives zeros.
  size_t copy(size_t distance, size_t length) {
    length = std::min(length, room());
    const size_t from = (total_ - distance) & mask_;
    const size_t to = total_ & mask_;
    if (from + length <= size_ && to + length <= size_) {
      std::byte* out = &buffer_[to];
      const std::byte* in = &buffer_[from];
      if (distance >= length) {
        std::memcpy(out, in, length);
      } else {
        for (size_t i = 0; i < length; ++i) out[i] = in[i];
      }
    } else {
      for (size_t i = 0; i < length; ++i) buffer_[(to + i) & mask_] = buffer_[(from + i) & mask_];
    }
    total_ += length;
    return length;
  }

  // Hands on what is pending, as much as output holds; returns how much.
  size_t flush(std::span<std::byte> output) {
    const size_t count = std::min(pending(), output.size());
    for (size_t done = 0; done < count;) {
      const size_t at = flushed_ & mask_;
      const size_t part = std::min(count - done, size_ - at);
      std::memcpy(output.data() + done, &buffer_[at], part);
      done += part;
      flushed_ += part;
    }
    return count;
  }

private:
  size_t size_;
  size_t mask_;
  std::unique_ptr<std::byte[]> buffer_;  // zeroed: what lies before the start
  uint64_t total_ = 0;
  uint64_t flushed_ = 0;
};

}  // namespace zip
