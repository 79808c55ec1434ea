#include "platform/win32/Win32MessagePump.h"

#include <windows.h>

#include "platform/win32/LazyFunction.h"

namespace vesk::platform::win32 {
namespace {
LazyFunction<decltype(::PeekMessageW)> g_peek(L"user32.dll", "PeekMessageW");
LazyFunction<decltype(::TranslateMessage)> g_translate(L"user32.dll", "TranslateMessage");
LazyFunction<decltype(::DispatchMessageW)> g_dispatch(L"user32.dll", "DispatchMessageW");
LazyFunction<decltype(::PostQuitMessage)> g_post_quit(L"user32.dll", "PostQuitMessage");
}  // namespace

void Win32MessagePump::DispatchPendingMessages() {
  MSG message{};
  while (g_peek(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Posting it inside the loop would hand it straight back to PeekMessage.
      g_post_quit(static_cast<int>(message.wParam));
      return;
    }
    g_translate(&message);
    g_dispatch(&message);
  }
}

}  // namespace vesk::platform::win32
