// The errors the version check raises. Each carries the exact text the window shows in its
// "Error" dialog (what(), UTF-8); the window adds the final "." by its own rule.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace versioncheck {

class VersionCheckError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Base of the errors about the local copy of the version history file: what() is
// <verb> file "<full path>". <the system's description of code>
class CopyFileError : public VersionCheckError {
public:
  CopyFileError(const char* verb, const std::filesystem::path& path, std::error_code code);
  const std::filesystem::path& path() const noexcept { return path_; }
  std::error_code code() const noexcept { return code_; }

private:
  std::filesystem::path path_;
  std::error_code code_;
};

// The copy could not be created, or not written whole: Cannot create file "<path>". <cause>
class CannotCreateFileError : public CopyFileError {
public:
  CannotCreateFileError(const std::filesystem::path& path, std::error_code code)
      : CopyFileError("create", path, code) {}
};

// The saved copy could not be opened or read back: Cannot open file "<path>". <cause>
class CannotOpenFileError : public CopyFileError {
public:
  CannotOpenFileError(const std::filesystem::path& path, std::error_code code)
      : CopyFileError("open", path, code) {}
};

// The scan met no header line (the file is empty, holds only empty lines, or every line has
// a "-"): "List index out of bounds (-1)", the text users of the old program know.
class NoHeaderLineError : public VersionCheckError {
public:
  NoHeaderLineError() : VersionCheckError("List index out of bounds (-1)") {}
};

// The response body, or the copy read back, is larger than the cap we hold in memory.
// "Version history file too large (more than <limit> bytes)"
class VersionHistoryTooLargeError : public VersionCheckError {
public:
  explicit VersionHistoryTooLargeError(uint64_t limit);
};

}  // namespace versioncheck
