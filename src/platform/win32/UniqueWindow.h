#pragma once

#include <windows.h>

#include "platform/win32/UniqueResource.h"

namespace vesk::platform::win32 {

// A window we created; destroyed (with its children) by its owner.
struct WindowCloser {
  void operator()(HWND window) const noexcept { DestroyWindow(window); }
};
using UniqueWindow = UniqueResource<HWND, WindowCloser, nullptr, LastErrorPolicy>;

}  // namespace vesk::platform::win32
