#include "platform/win32/Win32Windows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "TestWindow.h"
#include "platform/WindowSession.h"
#include "platform/win32/HwndConversion.h"
#include "platform/win32/Win32MessagePump.h"

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
  EXPECT_TRUE(windows.ReleaseThreadWindows());
  EXPECT_FALSE(IsWindow(first) || IsWindow(second));
}

bool ClassRegistered() {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ClassRegistered), &module);
  return GetClassInfoExW(module, L"VeskProgramManagerHidden", &info) != FALSE;
}

// Destroying the backend (a static destructor, in DLL_PROCESS_DETACH) leaves
// the windows; releasing destroys the calling thread's, and the class goes
// with the last window of any thread.
TEST(Win32Windows, ReleaseDestroysOnlyThisThreadsWindowsAndTheClassWithTheLast) {
  HWND hwnd = nullptr;
  {
    Win32Windows windows;
    hwnd = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
  }
  ASSERT_TRUE(IsWindow(hwnd));
  DestroyWindow(hwnd);

  Win32Windows windows;
  const HWND mine = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
  HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HWND theirs = nullptr;
  std::thread other([&] {
    theirs = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
    SetEvent(created);
    WaitForSingleObject(finish, INFINITE);
  });
  WaitForSingleObject(created, INFINITE);
  EXPECT_FALSE(windows.ReleaseThreadWindows());  // the other thread's window remains
  EXPECT_FALSE(IsWindow(mine));
  EXPECT_TRUE(IsWindow(theirs));
  EXPECT_TRUE(ClassRegistered());
  SetEvent(finish);
  other.join();
  EXPECT_TRUE(windows.ReleaseThreadWindows());
  EXPECT_FALSE(ClassRegistered());
  // A window after the release registers the class again.
  const HWND again = HwndConversion::ToHwnd(windows.CreateHiddenWindow());
  EXPECT_TRUE(IsWindow(again));
  EXPECT_TRUE(windows.ReleaseThreadWindows());
  EXPECT_FALSE(IsWindow(again));
  CloseHandle(created);
  CloseHandle(finish);
}

// Every window of the walk from the top of the Z-order, as the scan walks it.
std::vector<WindowHandle> Walk(Win32Windows& windows) {
  std::vector<WindowHandle> seen;
  for (WindowHandle window = windows.FindWindowA(nullptr, nullptr); window != 0 && seen.size() < 10000;
       window = windows.GetWindow(window, kGetWindowNext)) {
    seen.push_back(window);
  }
  return seen;
}

bool Contains(const std::vector<WindowHandle>& list, HWND hwnd) {
  return std::find(list.begin(), list.end(), HwndConversion::FromHwnd(hwnd)) != list.end();
}

TEST(Win32Windows, WalkFindsTheTestsWindowsWithTheirOwnerAndProcess) {
  Win32Windows windows;
  const WindowSession session(windows);  // nothing to hold on Win32, but nests freely
  const WindowSession nested(windows);
  test::TestWindow owner;
  test::TestWindow owned(owner.hwnd());
  ASSERT_NE(owned.hwnd(), nullptr);

  const std::vector<WindowHandle> walked = Walk(windows);
  EXPECT_TRUE(Contains(walked, owner.hwnd()));
  EXPECT_TRUE(Contains(walked, owned.hwnd()));  // owned pop-ups are top-level windows too
  EXPECT_EQ(windows.GetParent(HwndConversion::FromHwnd(owner.hwnd())), 0);
  EXPECT_EQ(windows.GetParent(HwndConversion::FromHwnd(owned.hwnd())), HwndConversion::FromHwnd(owner.hwnd()));

  std::uint32_t process = 0;
  EXPECT_EQ(windows.GetWindowThreadProcessId(HwndConversion::FromHwnd(owned.hwnd()), process), GetCurrentThreadId());
  EXPECT_EQ(process, GetCurrentProcessId());
  process = 99;
  EXPECT_EQ(windows.GetWindowThreadProcessId(0, process), 0u);
  EXPECT_EQ(process, 0u);

  // By class and title, the title given in UTF-8; nothing for a title no window has.
  const WindowHandle by_class = windows.FindWindowA("VeskTestWindow", "vesk test window");
  EXPECT_TRUE(by_class == HwndConversion::FromHwnd(owner.hwnd()) || by_class == HwndConversion::FromHwnd(owned.hwnd()));
  ASSERT_TRUE(SetWindowTextW(owner.hwnd(), L"vesk \u00fc \u65e5 title"));
  EXPECT_EQ(windows.FindWindowA(nullptr, "vesk \xc3\xbc \xe6\x97\xa5 title"), HwndConversion::FromHwnd(owner.hwnd()));
  EXPECT_EQ(windows.FindWindowA(nullptr, "vesk no such window"), 0);
}

TEST(Win32Windows, PostMessageQueuesACloseRequestTheWindowReceives) {
  Win32Windows windows;
  Win32MessagePump pump;
  test::TestWindow window;
  const WindowHandle handle = HwndConversion::FromHwnd(window.hwnd());
  ASSERT_TRUE(windows.PostMessageA(handle, kMessageClose, 0, 0));
  EXPECT_TRUE(window.received().empty());  // queued, not sent
  pump.DispatchPendingMessages();
  EXPECT_EQ(window.received(), std::vector<UINT>{WM_CLOSE});
  EXPECT_FALSE(IsWindow(window.hwnd()));  // the default answer to WM_CLOSE
  EXPECT_FALSE(windows.PostMessageA(handle, kMessageClose, 0, 0));  // gone
}

}  // namespace
}  // namespace vesk::platform::win32
