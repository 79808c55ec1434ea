#include "platform/win32/Win32MessagePump.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "TestWindow.h"

namespace vesk::platform::win32 {
namespace {

TEST(Win32MessagePump, DispatchesEveryPendingMessageInOrderThenReturns) {
  Win32MessagePump pump;
  test::TestWindow window;
  pump.DispatchPendingMessages();  // whatever creating the window queued
  ASSERT_TRUE(PostMessageW(window.hwnd(), WM_USER + 1, 0, 0));
  ASSERT_TRUE(PostMessageW(window.hwnd(), WM_USER + 2, 0, 0));
  pump.DispatchPendingMessages();
  EXPECT_EQ(window.received(), (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
  pump.DispatchPendingMessages();  // an empty queue returns at once
  EXPECT_EQ(window.received().size(), 2u);
}

TEST(Win32MessagePump, QuitIsPostedAgainForTheHostsLoop) {
  Win32MessagePump pump;
  test::TestWindow window;
  ASSERT_TRUE(PostMessageW(window.hwnd(), WM_USER + 3, 0, 0));
  PostQuitMessage(7);
  pump.DispatchPendingMessages();
  EXPECT_EQ(window.received(), std::vector<UINT>{WM_USER + 3});

  // The host's loop meets the quit, with its exit code, exactly once.
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace vesk::platform::win32
