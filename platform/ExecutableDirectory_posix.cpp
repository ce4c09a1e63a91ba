#include "platform/ExecutableDirectory.h"

#include <system_error>

namespace platform {

std::filesystem::path executablePath() {
  // read_symlink grows its buffer as needed, so a long path is never cut short.
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw std::system_error(error, "Cannot find the program's own path");
  // Once the running file has been replaced the kernel appends " (deleted)" to its name; the
  // directory part is still right, and that is all we use.
  return path;
}

}  // namespace platform
