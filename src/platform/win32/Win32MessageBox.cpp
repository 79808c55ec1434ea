#include "platform/win32/Win32MessageBox.h"

#include <windows.h>

#include "platform/win32/LazyFunction.h"
#include "platform/win32/Utf16.h"

namespace vesk::platform::win32 {
namespace {
LazyFunction<decltype(MessageBoxW)> g_message_box(L"user32.dll", "MessageBoxW");
LazyFunction<decltype(GetActiveWindow)> g_get_active_window(L"user32.dll", "GetActiveWindow");
}  // namespace

void Win32MessageBox::ShowMessageBox(const std::string& text, int style, const std::string& caption) {
  const std::wstring wide_text = Utf16::FromUtf8(text);
  const std::wstring wide_caption = Utf16::FromUtf8(caption);
  // The box's answer is not used: every box of the library has only OK.
  g_message_box(g_get_active_window(), wide_text.c_str(), wide_caption.c_str(), static_cast<UINT>(style));
}

}  // namespace vesk::platform::win32
