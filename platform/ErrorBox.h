// The system's own message box, for the error that ends the program before its window runs
// ("Application Error").
#pragma once

#include <string_view>

namespace platform {

// On Windows: a modal MessageBoxW with the error icon and a single OK button, owned by no
// window (there may be none yet) and modal for the calling thread's windows. Returns once the
// user has closed it: true. Returns false at once where the system has no such box (POSIX,
// where the caller shows its own), or when it could not be shown.
// title and text are UTF-16; "\n" breaks the text into lines.
bool showErrorBox(std::u16string_view title, std::u16string_view text);

}  // namespace platform
