#include "platform/ReplaceFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace platform {
namespace {

[[noreturn]] void fail(int error, const Directory& folder, const std::string& target) {
  throw std::system_error(error, std::generic_category(),
                          "Cannot replace \"" + (folder.path() / target).string() + "\"");
}

}  // namespace

void replaceFile(const Directory& folder, HeldFile& replacement, const std::string& replacementName,
                 const std::string& target, const FileStatus& replaced, uint32_t executeBitsIfNew) {
  switch (replaced.kind) {
    case FileStatus::Kind::File:
      // rename() would replace it; a read-only file stays as Windows keeps it.
      if (replaced.readOnly) fail(EACCES, folder, target);
      // Before the rename, so that the target never shows the temporary file's mode. The
      // permission bits only: set-user-ID and set-group-ID belong to the old content and its
      // owner (an overwrite in place clears them too), and the new file is ours.
      if (::fchmod(replacement.descriptor(), replaced.permissions & 0777) != 0) {
        fail(errno, folder, target);
      }
      break;
    case FileStatus::Kind::Missing:
    case FileStatus::Kind::Link:
      if (executeBitsIfNew != 0) replacement.addExecuteBits(executeBitsIfNew);
      break;
    case FileStatus::Kind::Folder:
      fail(EISDIR, folder, target);
    case FileStatus::Kind::Other:
      fail(EEXIST, folder, target);
  }
  try {
    folder.rename(replacementName, target);
  } catch (const std::system_error& error) {
    fail(error.code().value(), folder, target);
  }
}

}  // namespace platform
