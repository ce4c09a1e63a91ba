// libFuzzer target: opens fuzzed bytes as an archive and extracts it into a scratch directory,
// as the updater would, with the zip tests' password (make_fuzz_seeds.sh encrypts with it).
// Anything but a clean skip or refusal (a crash, a sanitizer report, a hang, runaway memory) is
// a finding.
//
// Input: one byte that chooses the decoding threads, then the archive. With one thread an input
// replays exactly; with two to four, entries are decoded side by side and encrypted ones
// decrypted together (zip/DecodeLanes), which only several threads reach, but the order of
// events differs from run to run. To open an input as an archive, drop its first byte
// (tail -c +2).
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "tests/support/ZipTestPassword.h"
#include "zip/Extractor.h"
#include "zip/MemoryInputStream.h"
#include "zip/ZipArchive.h"
#include "zip/ZipError.h"

namespace {

namespace fs = std::filesystem;

const fs::path& scratchDirectory() {
  static const fs::path directory = [] {
    std::string pattern = (fs::temp_directory_path() / "zipfuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return fs::path(pattern);
  }();
  return directory;
}

void emptyDirectory(const fs::path& directory) {
  std::error_code ignored;
  for (const auto& item : fs::directory_iterator(directory, ignored)) {
    // Extracted read-only directories would stop the removal of what they hold.
    for (auto it = fs::recursive_directory_iterator(item.path(), ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink()) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(item.path(), ignored);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const fs::path& base = scratchDirectory();
  const unsigned threads = 1 + data[0] % 4;
  zip::MemoryInputStream stream(std::as_bytes(std::span(data + 1, size - 1)));
  try {
    zip::ZipArchive archive(stream);
    zip::ExtractOptions options;
    options.password = {testsupport::kZipTestPassword, testsupport::kZipPasswordTests};
    // The size guard holds output to what entries declare; a small cap keeps each run quick.
    options.maxEntrySize = 8u << 20;
    options.threads = threads;
    zip::Extractor(archive, base, std::move(options)).run();
  } catch (const zip::ZipError&) {
    // Not an archive we read: the updater skips it the same way.
  }
  emptyDirectory(base);
  return 0;
}
