// An InputStream over bytes held by the caller, for archives already in memory (tests, fuzzing).
#pragma once

#include <algorithm>
#include <cstring>
#include <span>

#include "zip/InputStream.h"
#include "zip/ZipError.h"

namespace zip {

class MemoryInputStream final : public InputStream {
public:
  // The bytes must outlive the stream.
  explicit MemoryInputStream(std::span<const std::byte> bytes) : bytes_(bytes) {}

  uint64_t size() override { return bytes_.size(); }
  void seek(uint64_t offset) override {
    if (offset > bytes_.size()) throw ZipError("seek beyond the end of the stream");
    position_ = static_cast<size_t>(offset);
  }
  size_t read(void* buffer, size_t length) override {
    const size_t count = std::min(length, bytes_.size() - position_);
    if (count > 0) std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
  }

private:
  std::span<const std::byte> bytes_;
  size_t position_ = 0;
};

}  // namespace zip
