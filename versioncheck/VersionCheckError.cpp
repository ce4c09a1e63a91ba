#include "versioncheck/VersionCheckError.h"

#include <string>

#include "platform/Utf8Path.h"

namespace versioncheck {
namespace {

std::string describe(const char* verb, const std::filesystem::path& path, std::error_code code) {
  std::string message = "Cannot ";
  message += verb;
  message += " file \"";
  message += platform::utf8Of(path);
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
