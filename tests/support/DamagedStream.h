// An archive stream whose reads fail inside one byte range, as a bad sector or a failing disk
// would: the one failing stream of the tests.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>

#include "zip/InputStream.h"
#include "zip/MemoryInputStream.h"

namespace testsupport {

class DamagedStream final : public zip::InputStream {
public:
  // Reads that touch [badBegin, badEnd) throw; by default everything from badBegin on.
  DamagedStream(const std::string& data, uint64_t badBegin,
                uint64_t badEnd = std::numeric_limits<uint64_t>::max())
      : inner_(std::as_bytes(std::span(data.data(), data.size()))),
        badBegin_(badBegin),
        badEnd_(badEnd) {}
  uint64_t size() override { return inner_.size(); }
  void seek(uint64_t offset) override {
    inner_.seek(offset);
    position_ = offset;
  }
  size_t read(void* buffer, size_t length) override {
    if (position_ < badEnd_ && position_ + length > badBegin_) {
      throw std::runtime_error("input/output error");
    }
    const size_t count = inner_.read(buffer, length);
    position_ += count;
    return count;
  }

private:
  zip::MemoryInputStream inner_;
  uint64_t position_ = 0;
  uint64_t badBegin_;
  uint64_t badEnd_;
};

}  // namespace testsupport
