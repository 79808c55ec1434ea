#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "platform/win32/UniqueResource.h"
#include "platform/win32/Utf16.h"

namespace vesk::host_app {

// A BSTR, freed with SysFreeString.
struct BstrTraits {
  using Type = BSTR;
  static Type Empty() noexcept { return nullptr; }
  static bool IsEmpty(Type value) noexcept { return value == nullptr; }
  static void Close(Type value) noexcept { SysFreeString(value); }
};
using UniqueBstr = platform::win32::UniqueResource<BstrTraits>;

// The UTF-8 text of `text` (empty for a null BSTR).
inline std::string Utf8Of(const UniqueBstr& text) {
  if (!text) return {};
  return platform::win32::Utf16::ToUtf8(std::wstring_view(text.get(), SysStringLen(text.get())));
}

}  // namespace vesk::host_app
