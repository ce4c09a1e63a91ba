#include "platform/LoadedLibrary.h"

namespace platform {

std::vector<std::string> missingOperations(const std::string&, const std::vector<std::string>&) {
  return {};
}

}  // namespace platform
