#include "platform/win32/Win32Windows.h"

#include <windows.h>

#include <optional>
#include <string>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/HwndConversion.h"
#include "platform/win32/LazyFunction.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Error.h"

namespace vesk::platform::win32 {
namespace {

constexpr const wchar_t* kClassName = L"VeskProgramManagerHidden";

LazyFunction<decltype(RegisterClassExW)> g_register_class(L"user32.dll", "RegisterClassExW");
LazyFunction<decltype(UnregisterClassW)> g_unregister_class(L"user32.dll", "UnregisterClassW");
LazyFunction<decltype(CreateWindowExW)> g_create_window(L"user32.dll", "CreateWindowExW");
LazyFunction<decltype(DestroyWindow)> g_destroy_window(L"user32.dll", "DestroyWindow");
LazyFunction<decltype(::IsWindow)> g_is_window(L"user32.dll", "IsWindow");
LazyFunction<decltype(PostMessageW)> g_post_message(L"user32.dll", "PostMessageW");
LazyFunction<decltype(GetWindowThreadProcessId)> g_window_thread(L"user32.dll", "GetWindowThreadProcessId");
LazyFunction<decltype(DefWindowProcW)> g_def_window_proc(L"user32.dll", "DefWindowProcW");
LazyFunction<decltype(FindWindowW)> g_find_window(L"user32.dll", "FindWindowW");
LazyFunction<decltype(::GetWindow)> g_get_window(L"user32.dll", "GetWindow");
LazyFunction<decltype(::GetParent)> g_get_parent(L"user32.dll", "GetParent");
LazyFunction<decltype(::IsWindowVisible)> g_is_window_visible(L"user32.dll", "IsWindowVisible");

// Close requests refused on this thread. A plain integer: code built for
// Windows keeps no thread-local object with a destructor.
thread_local std::uint64_t t_refused_close_requests = 0;

// The module this code is linked into (the DLL, or a test program).
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

[[noreturn]] void Refused(const char* what) {
  const DWORD error = GetLastError();
  throw Failure(errors::kAccessRefused, "Win32Windows", std::string(what) + ": " + Win32Error::Text(error));
}

}  // namespace

WindowHandle Win32Windows::CreateHiddenWindow() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!class_registered_) {
    // The window has no behaviour of its own, so its class uses the system's
    // default procedure: no window can call into this module after it unloads.
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = g_def_window_proc.get();
    window_class.hInstance = ThisModule();
    window_class.lpszClassName = kClassName;
    if (g_register_class(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      Refused("Cannot register the hidden window's class");
    }
    class_registered_ = true;
  }
  windows_.reserve(windows_.size() + 1);
  const HWND hwnd = g_create_window(0, kClassName, L"frmMain", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ThisModule(), nullptr);
  if (hwnd == nullptr) Refused("Cannot create the hidden window");
  windows_.push_back(hwnd);
  return HwndConversion::FromHwnd(hwnd);
}

bool Win32Windows::ReleaseThreadWindows() {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(windows_, [](void* window) {
    const HWND hwnd = static_cast<HWND>(window);
    if (!g_is_window(hwnd)) return true;  // its thread has ended
    if (g_window_thread(hwnd, nullptr) != GetCurrentThreadId()) return false;
    g_destroy_window(hwnd);
    return true;
  });
  if (windows_.empty() && class_registered_) {
    g_unregister_class(kClassName, ThisModule());
    class_registered_ = false;
  }
  return windows_.empty();
}

WindowHandle Win32Windows::FindWindowA(const char* class_name, const char* window_name) {
  auto wide = [](const char* text) {
    return text != nullptr ? std::optional<std::wstring>(Utf16::FromUtf8(text)) : std::nullopt;
  };
  auto pointer = [](const std::optional<std::wstring>& text) { return text ? text->c_str() : nullptr; };
  const std::optional<std::wstring> wide_class = wide(class_name);
  const std::optional<std::wstring> wide_name = wide(window_name);
  return HwndConversion::FromHwnd(g_find_window(pointer(wide_class), pointer(wide_name)));
}

WindowHandle Win32Windows::GetWindow(WindowHandle window, int command) {
  return HwndConversion::FromHwnd(g_get_window(HwndConversion::ToHwnd(window), static_cast<UINT>(command)));
}

WindowHandle Win32Windows::GetParent(WindowHandle window) {
  return HwndConversion::FromHwnd(g_get_parent(HwndConversion::ToHwnd(window)));
}

std::uint32_t Win32Windows::GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) {
  DWORD process = 0;
  const DWORD thread = g_window_thread(HwndConversion::ToHwnd(window), &process);
  process_id = process;
  return thread;
}

WindowRoute Win32Windows::Route() { return {true, "", t_refused_close_requests}; }

bool Win32Windows::IsWindowVisible(WindowHandle window) {
  return g_is_window_visible(HwndConversion::ToHwnd(window)) != FALSE;
}

bool Win32Windows::PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                                std::intptr_t lparam) {
  if (g_post_message(HwndConversion::ToHwnd(window), message, wparam, lparam) != FALSE) return true;
  // User interface privilege isolation refuses posts to a window of higher
  // integrity; the caller learns of it through Route().
  if (GetLastError() == ERROR_ACCESS_DENIED) ++t_refused_close_requests;
  return false;
}

}  // namespace vesk::platform::win32
