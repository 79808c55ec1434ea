#pragma once

#include <windows.h>

#include "platform/UniqueResource.h"

namespace vesk::platform::win32 {

// Win32 owners are platform::UniqueResource with this policy: closing keeps
// GetLastError unchanged, so an error being reported is not lost.
struct LastErrorPolicy : ErrnoPolicy {
  static DWORD SaveError() noexcept { return GetLastError(); }
  static void RestoreError(DWORD saved) noexcept { SetLastError(saved); }
};

// A kernel handle: both NULL and INVALID_HANDLE_VALUE own nothing (CreateFile
// fails with the one, OpenProcess with the other).
struct KernelHandlePolicy : LastErrorPolicy {
  static bool IsEmpty(HANDLE handle, HANDLE empty) noexcept {
    return handle == empty || handle == INVALID_HANDLE_VALUE;
  }
};
struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using UniqueHandle = UniqueResource<HANDLE, HandleCloser, nullptr, KernelHandlePolicy>;

}  // namespace vesk::platform::win32
