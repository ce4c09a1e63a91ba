// What the tests of the extraction share: extracting archive bytes from memory, and a base
// directory with a folder outside it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <string>

#include "tests/support/ScratchDirectory.h"
#include "zip/Extractor.h"
#include "zip/MemoryInputStream.h"

namespace ziptest {

namespace fs = std::filesystem;

inline zip::ExtractionReport extract(const std::string& archiveBytes, const fs::path& base,
                                     zip::ExtractOptions options = {}) {
  zip::MemoryInputStream stream(std::as_bytes(std::span(archiveBytes.data(), archiveBytes.size())));
  zip::ZipArchive archive(stream);
  return zip::Extractor(archive, base, std::move(options)).run();
}

class ExtractorTest : public testing::Test {
protected:
  zip::ExtractionReport extractIntoBase(const std::string& archiveBytes,
                                        zip::ExtractOptions options = {}) {
    return extract(archiveBytes, base, std::move(options));
  }

  testsupport::ScratchDirectory scratch;
  fs::path base = scratch / "base";
  fs::path outside = scratch / "outside";
  void SetUp() override {
    fs::create_directories(base);
    fs::create_directories(outside);
  }
};

}  // namespace ziptest
