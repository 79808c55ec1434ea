#pragma once

#include <windows.h>

#include <string>

namespace vesk::platform::win32 {

// The system's text for a Win32 error code.
class Win32Error {
 public:
  // The message for `error` without trailing line breaks or period, or
  // "error <n>" when the system has none.
  static std::string Text(DWORD error);
};

}  // namespace vesk::platform::win32
