#include "platform/ReplaceFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace platform {
namespace {

[[noreturn]] void throwSystemError(int error, const std::filesystem::path& target) {
  throw std::system_error(error, std::generic_category(),
                          "Cannot replace \"" + target.string() + "\"");
}

}  // namespace

void replaceFile(const std::filesystem::path& replacement, const std::filesystem::path& target) {
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    // rename() would replace it; a read-only file stays as Windows keeps it.
    if ((old.st_mode & S_IWUSR) == 0) throwSystemError(EACCES, target);
    if (S_ISDIR(old.st_mode)) throwSystemError(EISDIR, target);
    // Before the rename, so that the target never shows the temporary file's mode.
    if (::chmod(replacement.c_str(), old.st_mode & 07777) != 0) throwSystemError(errno, target);
  } else if (errno != ENOENT) {
    throwSystemError(errno, target);
  }
  if (std::rename(replacement.c_str(), target.c_str()) != 0) throwSystemError(errno, target);
}

}  // namespace platform
