#include "platform/ErrorBox.h"

namespace platform {

// X11 and Wayland have no message box of the system's; the window library shows one.
bool showErrorBox(std::u16string_view, std::u16string_view) {
  return false;
}

}  // namespace platform
