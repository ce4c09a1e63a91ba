// Where the tests of the reader collect an entry's decoded bytes.
#pragma once

#include <span>
#include <string>

#include "zip/EntryReader.h"

namespace testsupport {

class StringSink final : public zip::OutputSink {
public:
  void write(std::span<const std::byte> data) override {
    text.append(reinterpret_cast<const char*>(data.data()), data.size());
  }
  std::string text;
};

}  // namespace testsupport
