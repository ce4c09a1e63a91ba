// The codec tests' view of an archive: held in memory, opened, its entries decoded or taken
// as stored. Shared by the tests that run everywhere and those that need POSIX tools.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tests/support/ScratchDirectory.h"
#include "tests/support/StringSink.h"
#include "tests/support/ZipTestPassword.h"
#include "zip/EntryReader.h"
#include "zip/MemoryInputStream.h"
#include "zip/ZipArchive.h"

namespace ziptest {

// An archive of tests/zip/data (see its README), read whole.
inline std::string dataFile(const std::string& name) {
  return testsupport::readFile(std::filesystem::path(ZIP_TEST_DATA) / name);
}

// An archive held in memory and opened.
class OpenArchive {
public:
  explicit OpenArchive(std::string bytes)
      : bytes_(std::move(bytes)),
        stream_(std::as_bytes(std::span(bytes_.data(), bytes_.size()))),
        archive_(stream_) {}

  const std::vector<zip::ZipEntry>& entries() const { return archive_.entries(); }

  // The entry decoded, its CRC-32 and size checked; throws ZipError.
  std::string read(const zip::ZipEntry& entry, const std::string& password = "") {
    zip::EntryReader reader(archive_, entry, {password, testsupport::kZipPasswordTests});
    zip::DecodeBuffers buffers;
    testsupport::StringSink sink;
    reader.decodeTo(sink, buffers);
    return sink.text;
  }

  // The entry's data as stored.
  std::string payload(const zip::ZipEntry& entry) {
    const zip::LocalHeader local = archive_.readLocalHeader(entry);
    std::string data(static_cast<size_t>(entry.compressedSize), '\0');
    archive_.readAt(local.dataOffset, data.data(), data.size());
    return data;
  }

private:
  std::string bytes_;
  zip::MemoryInputStream stream_;
  zip::ZipArchive archive_;
};

}  // namespace ziptest
