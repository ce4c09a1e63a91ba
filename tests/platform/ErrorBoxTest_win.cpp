// The "Application Error" box, answered by the test as a user would: a hook on the thread sees
// the box come up and presses OK.
#include "platform/ErrorBox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

// What the box showed, read when our OK reaches it (by then the box has set its texts).
struct Seen {
  std::wstring title;
  std::wstring text;
  bool okButton = false;
  bool cancelButton = false;
};
Seen seen;
HHOOK activation = nullptr;
HHOOK messages = nullptr;

std::wstring windowText(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

LRESULT CALLBACK onActivation(int code, WPARAM window, LPARAM parameter) {
  if (code == HCBT_ACTIVATE) PostMessageW(reinterpret_cast<HWND>(window), WM_COMMAND, IDOK, 0);
  return CallNextHookEx(activation, code, window, parameter);
}

LRESULT CALLBACK onMessage(int code, WPARAM removal, LPARAM parameter) {
  const auto* message = reinterpret_cast<const MSG*>(parameter);
  if (code == HC_ACTION && message->message == WM_COMMAND && message->wParam == IDOK &&
      seen.title.empty()) {
    seen.title = windowText(message->hwnd);
    seen.text = windowText(GetDlgItem(message->hwnd, 0xFFFF));  // the box's text control
    const HWND ok = GetDlgItem(message->hwnd, IDOK);
    const HWND cancel = GetDlgItem(message->hwnd, IDCANCEL);
    seen.okButton = ok != nullptr && IsWindowVisible(ok);
    seen.cancelButton = cancel != nullptr && IsWindowVisible(cancel);
  }
  return CallNextHookEx(messages, code, removal, parameter);
}

TEST(ErrorBoxWindows, ShowsTitleAndBothLinesWithOneOkButton) {
  activation = SetWindowsHookExW(WH_CBT, onActivation, nullptr, GetCurrentThreadId());
  messages = SetWindowsHookExW(WH_GETMESSAGE, onMessage, nullptr, GetCurrentThreadId());
  ASSERT_NE(activation, nullptr);
  ASSERT_NE(messages, nullptr);

  const bool shown = platform::showErrorBox(
      u"Application Error",
      u"Exception EListError in module Actualizaci\u00f3n.exe at 0041A2B3.\nItem not found.");
  UnhookWindowsHookEx(messages);
  UnhookWindowsHookEx(activation);

  EXPECT_TRUE(shown);
  EXPECT_EQ(seen.title, L"Application Error");
  EXPECT_EQ(seen.text,
            L"Exception EListError in module Actualizaci\u00f3n.exe at 0041A2B3.\nItem not found.");
  EXPECT_TRUE(seen.okButton);
  EXPECT_FALSE(seen.cancelButton);
}

}  // namespace
