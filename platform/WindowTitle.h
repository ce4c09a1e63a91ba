// The title of a native window, where the window system lets a program set it without its
// window library.
#pragma once

#include <cstdint>

namespace platform {

// Windows only (WindowTitle_win.cpp): makes the title of the native window (its HWND) empty.
// Qt never shows an empty title there: it puts the application's name in its place, and sets
// the window's text itself only when the program changes the title. Returns false when the
// system refused.
bool clearWindowTitle(std::uintptr_t nativeWindow);

}  // namespace platform
