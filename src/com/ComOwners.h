#pragma once

#include <windows.h>
#include <oleauto.h>

#include "platform/win32/UniqueResource.h"

namespace vesk::com {

// A BSTR from SysAllocString.
struct BstrTraits {
  using Type = BSTR;
  static Type Empty() noexcept { return nullptr; }
  static bool IsEmpty(Type value) noexcept { return value == nullptr; }
  static void Close(Type value) noexcept { SysFreeString(value); }
};
using UniqueBstr = platform::win32::UniqueResource<BstrTraits>;

// An open registry key.
struct RegKeyTraits {
  using Type = HKEY;
  static Type Empty() noexcept { return nullptr; }
  static bool IsEmpty(Type value) noexcept { return value == nullptr; }
  static void Close(Type value) noexcept { RegCloseKey(value); }
};
using UniqueRegKey = platform::win32::UniqueResource<RegKeyTraits>;

}  // namespace vesk::com
