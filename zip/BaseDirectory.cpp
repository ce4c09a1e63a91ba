#include "zip/BaseDirectory.h"

#include <algorithm>

#include "platform/ExclusiveFile.h"

namespace zip {
namespace fs = std::filesystem;

namespace {

fs::path pathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

}  // namespace

BaseDirectory::BaseDirectory(const fs::path& directory) {
  std::error_code error;
  canonical_ = fs::canonical(directory, error);
  if (error || !fs::is_directory(canonical_)) {
    throw ZipError("the base directory " + directory.string() + " does not exist");
  }
}

fs::path BaseDirectory::targetOf(const std::vector<std::string>& elements) const {
  fs::path target = canonical_;
  for (const std::string& element : elements) target /= pathFromUtf8(element);
  return target;
}

bool BaseDirectory::makeDirectories(const std::vector<std::string>& elements, size_t count) const {
  fs::path current = canonical_;
  for (size_t i = 0; i < count; ++i) {
    current /= pathFromUtf8(elements[i]);
    if (knownDirectories_.contains(current.native())) continue;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(current, error);
    if (fs::is_symlink(status)) {
      const fs::path real = fs::canonical(current, error);
      if (error || !contains(real)) return false;
      if (!fs::is_directory(real, error)) {
        throw ExtractionEnded("a file stands where the directory " + current.string() +
                              " is needed");
      }
      continue;
    }
    if (!fs::is_directory(status)) {
      if (fs::exists(status)) {
        throw ExtractionEnded("a file stands where the directory " + current.string() +
                              " is needed");
      }
      if (!fs::create_directory(current, error) && error) {
        throw ExtractionEnded("cannot create the directory " + current.string() + ": " +
                              error.message());
      }
    }
    knownDirectories_.insert(current.native());
  }
  return true;
}

fs::file_status BaseDirectory::checkNotOutside(const fs::path& path) const {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (!fs::is_symlink(status)) return status;
  const fs::path real = fs::canonical(path, error);
  if (error || !contains(real)) {
    throw ZipError("the path leads outside the base directory through a symbolic link");
  }
  return fs::status(path, error);
}

void BaseDirectory::checkReplaceable(const fs::path& target, Holders holders) {
  std::error_code error;
  checkReplaceable(target, fs::status(target, error), holders);
}

void BaseDirectory::checkReplaceable(const fs::path& target, const fs::file_status& status,
                                     Holders holders) {
  if (!fs::exists(status)) return;
  if (!fs::is_regular_file(status)) throw ZipError("something other than a file is in the way");
  // The read-only attribute is the missing owner-write bit; tested here because a rename
  // would replace a read-only file, and because the superuser may write to it anyway.
  if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) {
    throw ZipError("the existing file is read-only");
  }
  if (holders == Holders::Probe && !platform::ExclusiveFile::canOpenForWriting(target)) {
    throw ZipError("the existing file cannot be opened for writing");
  }
}

bool BaseDirectory::contains(const fs::path& canonicalPath) const {
  const auto [baseEnd, pathEnd] = std::mismatch(canonical_.begin(), canonical_.end(),
                                                canonicalPath.begin(), canonicalPath.end());
  return baseEnd == canonical_.end();
}

}  // namespace zip
