// The empty title of a native window: Qt puts the application's name in an empty title, so the
// updater clears it through the system.
#include "platform/WindowTitle.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(WindowTitle, BecomesEmpty) {
  HWND window = CreateWindowExW(0, L"STATIC", L"updater", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(GetWindowTextLengthW(window), 7);
  EXPECT_TRUE(platform::clearWindowTitle(reinterpret_cast<std::uintptr_t>(window)));
  EXPECT_EQ(GetWindowTextLengthW(window), 0);
  DestroyWindow(window);
}

TEST(WindowTitle, AHandleThatIsNoWindowIsRefused) {
  HWND window = CreateWindowExW(0, L"STATIC", L"gone", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  DestroyWindow(window);
  EXPECT_FALSE(platform::clearWindowTitle(reinterpret_cast<std::uintptr_t>(window)));
}

}  // namespace
