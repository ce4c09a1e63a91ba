#include "versioncheck/VersionCheckError.h"

#include <string>

namespace versioncheck {
namespace {

std::string describe(const char* verb, const std::filesystem::path& path, std::error_code code) {
  const std::u8string utf8Path = path.u8string();
  std::string message = "Cannot ";
  message += verb;
  message += " file \"";
  message.append(utf8Path.begin(), utf8Path.end());
  message += "\". ";
  message += code.message();
  return message;
}

}  // namespace

CopyFileError::CopyFileError(const char* verb, const std::filesystem::path& path,
                             std::error_code code)
    : VersionCheckError(describe(verb, path, code)), path_(path), code_(code) {}

VersionHistoryTooLargeError::VersionHistoryTooLargeError(uint64_t limit)
    : VersionCheckError("Version history file too large (more than " + std::to_string(limit) +
                        " bytes)") {}

}  // namespace versioncheck
