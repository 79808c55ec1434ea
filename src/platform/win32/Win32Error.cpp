#include "platform/win32/Win32Error.h"

#include <string>

#include "platform/win32/Utf16.h"

namespace vesk::platform::win32 {

std::string Win32Error::Text(DWORD error) {
  wchar_t buffer[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                      0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  std::wstring_view text(buffer, length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.')) {
    text.remove_suffix(1);
  }
  if (text.empty()) return "error " + std::to_string(error);
  try {
    return Utf16::ToUtf8(text);
  } catch (...) {
    return "error " + std::to_string(error);
  }
}

}  // namespace vesk::platform::win32
