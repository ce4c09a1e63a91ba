#include "platform/ErrorBox.h"

#include <windows.h>

#include <string>

namespace platform {

bool showErrorBox(std::u16string_view title, std::u16string_view text) {
  // MessageBoxW wants terminated strings.
  const std::wstring caption(title.begin(), title.end());
  const std::wstring message(text.begin(), text.end());
  // MB_TASKMODAL: without an owner, keep the thread's other windows from taking input while
  // the box is up. MB_SETFOREGROUND: it comes from a program whose window never showed.
  const int answer = MessageBoxW(nullptr, message.c_str(), caption.c_str(),
                                 MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
  return answer == IDOK;
}

}  // namespace platform
