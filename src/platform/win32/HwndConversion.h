#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/PlatformTypes.h"

namespace vesk::platform::win32 {

// Window handles are 32-bit values on both Windows widths (a 64-bit handle
// is the sign extension of its low 32 bits), so they fit WindowHandle.
class HwndConversion {
 public:
  static HWND ToHwnd(WindowHandle handle) noexcept {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle));
  }
  static WindowHandle FromHwnd(HWND hwnd) noexcept {
    return static_cast<WindowHandle>(reinterpret_cast<std::intptr_t>(hwnd));
  }
};

}  // namespace vesk::platform::win32
