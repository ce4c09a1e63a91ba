#include "platform/CodeAddress.h"

#include <dlfcn.h>

namespace platform {

std::optional<std::uintptr_t> offsetInModule(const void* code) {
  Dl_info info{};
  if (dladdr(code, &info) == 0 || info.dli_fbase == nullptr) return std::nullopt;
  return reinterpret_cast<std::uintptr_t>(code) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

}  // namespace platform
