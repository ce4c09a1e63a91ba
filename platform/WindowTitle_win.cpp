#include "platform/WindowTitle.h"

#include <windows.h>

namespace platform {

bool clearWindowTitle(std::uintptr_t nativeWindow) {
  return SetWindowTextW(reinterpret_cast<HWND>(nativeWindow), L"") != 0;
}

}  // namespace platform
