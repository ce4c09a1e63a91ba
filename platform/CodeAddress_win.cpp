#include "platform/CodeAddress.h"

#include <windows.h>

namespace platform {

std::optional<std::uintptr_t> offsetInModule(const void* code) {
  // A module's handle is its base address. UNCHANGED_REFCOUNT: only a look, nothing to release.
  HMODULE module = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExW(flags, static_cast<LPCWSTR>(code), &module) || module == nullptr)
    return std::nullopt;
  return reinterpret_cast<std::uintptr_t>(code) - reinterpret_cast<std::uintptr_t>(module);
}

}  // namespace platform
