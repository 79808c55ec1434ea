#pragma once

#include <windows.h>

#include "platform/win32/UniqueResource.h"

namespace vesk::platform::win32 {

// A window we created; destroyed (with its children) by its owner.
struct WindowTraits {
  using Type = HWND;
  static Type Empty() noexcept { return nullptr; }
  static bool IsEmpty(Type value) noexcept { return value == nullptr; }
  static void Close(Type value) noexcept { DestroyWindow(value); }
};
using UniqueWindow = UniqueResource<WindowTraits>;

}  // namespace vesk::platform::win32
