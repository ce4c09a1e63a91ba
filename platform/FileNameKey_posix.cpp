#include "platform/FileNameKey.h"

namespace platform {

// Linux file systems compare names byte by byte.
std::string fileNameKey(std::string_view name) {
  return std::string(name);
}

}  // namespace platform
