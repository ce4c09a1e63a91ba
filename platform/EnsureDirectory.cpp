#include "platform/EnsureDirectory.h"

#include <system_error>

namespace platform {

void ensureDirectory(const std::filesystem::path& directory) noexcept {
  std::error_code ignored;
  if (!std::filesystem::is_directory(directory, ignored)) {
    std::filesystem::create_directory(directory, ignored);
  }
}

}  // namespace platform
