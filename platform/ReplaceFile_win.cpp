#include "platform/ReplaceFile.h"

#include <windows.h>

#include <string>
#include <system_error>

namespace platform {
namespace {

[[noreturn]] void throwSystemError(DWORD error, const std::filesystem::path& target) {
  const auto name = target.u8string();
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          "Cannot replace \"" + std::string(name.begin(), name.end()) + "\"");
}

}  // namespace

void replaceFile(const std::filesystem::path& replacement, const std::filesystem::path& target) {
  const DWORD old = GetFileAttributesW(target.c_str());
  if (old == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) throwSystemError(error, target);
  } else {
    // The new file takes the old one's attributes itself before the rename: ReplaceFileW
    // keeps them on Windows but not under Wine. Read-only is refused here rather than left to
    // MoveFileExW, which refuses it on Windows but replaces the file under Wine.
    if (old & FILE_ATTRIBUTE_READONLY) throwSystemError(ERROR_ACCESS_DENIED, target);
    if (old & FILE_ATTRIBUTE_DIRECTORY) throwSystemError(ERROR_DIRECTORY, target);
    if (!SetFileAttributesW(replacement.c_str(), old)) throwSystemError(GetLastError(), target);
  }
  // WRITE_THROUGH: return only once the rename is on disk, so a crash right after cannot undo
  // a replacement that has been reported done.
  if (!MoveFileExW(replacement.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throwSystemError(GetLastError(), target);
  }
}

}  // namespace platform
