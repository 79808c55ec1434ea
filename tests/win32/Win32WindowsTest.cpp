#include "platform/win32/Win32Windows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "platform/win32/HwndConversion.h"

namespace vesk::platform::win32 {
namespace {

TEST(Win32Windows, HiddenWindowIsOursNeverShownAndOwnedByItsThread) {
  Win32Windows windows;
  const HWND first = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
  const HWND second = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
  for (const HWND hwnd : {first, second}) {
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetParent(hwnd), nullptr);  // top-level, no owner
    wchar_t class_name[64] = {};
    GetClassNameW(hwnd, class_name, 64);
    EXPECT_STREQ(class_name, L"VeskProgramManagerHidden");
  }
  EXPECT_NE(first, second);
  EXPECT_EQ(GetWindowThreadProcessId(first, nullptr), GetCurrentThreadId());

  // Another thread gets a window of its own, which ends with that thread.
  HWND other = nullptr;
  std::thread([&] {
    other = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
    EXPECT_TRUE(IsWindow(other));
    EXPECT_EQ(GetWindowThreadProcessId(other, nullptr), GetCurrentThreadId());
  }).join();
  EXPECT_NE(other, nullptr);
  EXPECT_FALSE(IsWindow(other));
  // The handle survives the round trip through the 32-bit WindowHandle.
  EXPECT_EQ(HwndConversion::ToHwnd(HwndConversion::FromHwnd(first)), first);
}

TEST(Win32Windows, DestroyingTheBackendDestroysItsWindows) {
  HWND hwnd = nullptr;
  {
    Win32Windows windows;
    hwnd = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
    ASSERT_TRUE(IsWindow(hwnd));
  }
  EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
}  // namespace vesk::platform::win32
