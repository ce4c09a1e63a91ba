#include "platform/ReplaceFile.h"

#include <windows.h>

#include <string>
#include <system_error>

#include "platform/WindowsFiles.h"

namespace platform {
namespace {

[[noreturn]] void fail(DWORD error, const Directory& folder, const std::string& target) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          "Cannot replace \"" + utf8Of(folder.path() / pathOfUtf8(target)) + "\"");
}

}  // namespace

void replaceFile(const Directory& folder, HeldFile& replacement, const std::string& replacementName,
                 const std::string& target, const FileStatus& replaced, uint32_t) {
  switch (replaced.kind) {
    case FileStatus::Kind::File: {
      // The new file takes the old one's attributes itself before the rename: ReplaceFileW
      // keeps them on Windows but not under Wine. Read-only is refused here rather than left
      // to MoveFileExW, which refuses it on Windows but replaces the file under Wine.
      if (replaced.readOnly) fail(ERROR_ACCESS_DENIED, folder, target);
      FILE_BASIC_INFO information{};
      information.FileAttributes = replaced.attributes;
      if (!SetFileInformationByHandle(reinterpret_cast<HANDLE>(replacement.handle_), FileBasicInfo,
                                      &information, sizeof information)) {
        fail(GetLastError(), folder, target);
      }
      break;
    }
    case FileStatus::Kind::Missing:
    case FileStatus::Kind::Link:
      break;
    case FileStatus::Kind::Folder:
      fail(ERROR_DIRECTORY, folder, target);
    case FileStatus::Kind::Other:
      fail(ERROR_ACCESS_DENIED, folder, target);
  }
  try {
    folder.rename(replacementName, target);
  } catch (const std::system_error& error) {
    fail(static_cast<DWORD>(error.code().value()), folder, target);
  }
}

}  // namespace platform
