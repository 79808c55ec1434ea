#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "com/ComOwners.h"
#include "platform/win32/Utf16.h"

namespace vesk::host_app {

// A BSTR, freed with SysFreeString (the server's own owner type).
using com::UniqueBstr;

// The UTF-8 text of `text` (empty for a null BSTR).
inline std::string Utf8Of(const UniqueBstr& text) {
  if (!text) return {};
  return platform::win32::Utf16::ToUtf8(std::wstring_view(text.get(), SysStringLen(text.get())));
}

}  // namespace vesk::host_app
