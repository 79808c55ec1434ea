#pragma once

#include <windows.h>
#include <oleauto.h>

#include "platform/win32/UniqueResource.h"

namespace vesk::com {

// A BSTR from SysAllocString.
struct BstrCloser {
  void operator()(BSTR text) const noexcept { SysFreeString(text); }
};
using UniqueBstr = platform::UniqueResource<BSTR, BstrCloser, nullptr, platform::win32::LastErrorPolicy>;

// An open registry key.
struct RegKeyCloser {
  void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using UniqueRegKey = platform::UniqueResource<HKEY, RegKeyCloser, nullptr, platform::win32::LastErrorPolicy>;

}  // namespace vesk::com
