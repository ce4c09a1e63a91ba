#include "versioncheck/VersionHistoryFetch.h"

#include <optional>

#include "platform/EnsureDirectory.h"
#include "platform/ExclusiveFile.h"
#include "platform/PlainFileName.h"
#include "platform/Unicode.h"
#include "versioncheck/VersionCheckError.h"
#include "versioncheck/VersionHistory.h"

namespace versioncheck {
namespace {

namespace fs = std::filesystem;
using platform::ExclusiveFile;

ExclusiveFile openForWriting(const fs::path& path) {
  try {
    return ExclusiveFile(path, ExclusiveFile::Mode::CreateOrTruncate);
  } catch (const std::system_error& error) {
    throw CannotCreateFileError(path, error.code());
  }
}

ExclusiveFile openForReading(const fs::path& path) {
  try {
    return ExclusiveFile(path, ExclusiveFile::Mode::OpenExisting);
  } catch (const std::system_error& error) {
    throw CannotOpenFileError(path, error.code());
  }
}

std::string readWhole(ExclusiveFile& file) {
  const uint64_t size = file.size();
  if (size > kMaxVersionHistoryBytes) throw VersionHistoryTooLargeError(kMaxVersionHistoryBytes);
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t filled = 0;
  while (filled < bytes.size()) {
    const size_t count = file.read(bytes.data() + filled, bytes.size() - filled);
    if (count == 0) break;
    filled += count;
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace

std::string versionHistoryUrl(std::u16string_view updatePath, std::u16string_view updateName) {
  return platform::encodeUtf8(updatePath) + platform::encodeUtf8(updateName);
}

fs::path versionHistoryCopyPath(const fs::path& updateDirectory, std::u16string_view updateName) {
  const std::string name = platform::encodeUtf8(updateName);
  fs::path path = updateDirectory / std::u8string(name.begin(), name.end());
  return path.make_preferred();
}

void saveVersionHistoryCopy(const fs::path& path, std::string_view bytes) {
  std::optional<std::error_code> failure;
  {
    ExclusiveFile file = openForWriting(path);
    try {
      file.write(bytes.data(), bytes.size());
      file.close();
    } catch (const std::system_error& error) {
      failure = error.code();
    }
  }
  if (failure) {
    // A truncated copy would later be read as if it were the whole file.
    std::error_code ignored;
    fs::remove(path, ignored);
    throw CannotCreateFileError(path, *failure);
  }
}

std::vector<std::u16string> readVersionHistoryCopy(const fs::path& path) {
  std::string bytes;
  {
    ExclusiveFile file = openForReading(path);
    try {
      bytes = readWhole(file);
    } catch (const std::system_error& error) {
      throw CannotOpenFileError(path, error.code());
    }
  }
  return readVersionHistoryLines(bytes);
}

std::vector<std::u16string> fetchVersionHistoryLines(const fs::path& updateDirectory,
                                                     std::u16string_view updatePath,
                                                     std::u16string_view updateName,
                                                     const FetchBody& fetch) {
  platform::ensureDirectory(updateDirectory);
  const std::string url = versionHistoryUrl(updatePath, updateName);
  const fs::path copy = versionHistoryCopyPath(updateDirectory, updateName);

  {
    // The body lives only until it is on disk.
    const std::string body = fetch(url);
    if (body.size() > kMaxVersionHistoryBytes) {
      throw VersionHistoryTooLargeError(kMaxVersionHistoryBytes);
    }
    // The name ends up in a path we create and delete: it must name a file in the update
    // directory and nothing else.
    if (!platform::isPlainFileName(updateName)) {
      throw CannotCreateFileError(copy, std::make_error_code(std::errc::invalid_argument));
    }
    saveVersionHistoryCopy(copy, body);
  }
  std::vector<std::u16string> lines = readVersionHistoryCopy(copy);

  std::error_code ignored;
  fs::remove(copy, ignored);
  return lines;
}

}  // namespace versioncheck
