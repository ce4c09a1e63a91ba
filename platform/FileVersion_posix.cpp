#include "platform/FileVersion.h"

namespace platform {

// No system service reads Windows version resources here; our reader is the system's.
std::optional<FixedFileVersion> readFixedFileVersion(const std::filesystem::path& path) {
  return readPeFileVersion(path);
}

}  // namespace platform
