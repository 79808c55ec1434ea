// A program with a hidden helper window above its main window: the helper
// is created after the main window (so it stands above it), never shown and
// unowned. Closing the main window ends the program with 0; a close request
// that reaches the helper ends it with 2, so a wrong choice is seen.
#include <windows.h>

namespace {

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    PostQuitMessage(2);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool Register(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = name;
  return RegisterClassExW(&window_class) != 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  if (!Register(L"VeskHelperAppMain", MainProc) || !Register(L"VeskHelperAppHelper", HelperProc)) return 3;
  const HWND main = CreateWindowExW(0, L"VeskHelperAppMain", L"Helper app", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr, instance, nullptr);
  if (main == nullptr) return 3;
  ShowWindow(main, SW_SHOWNOACTIVATE);
  const HWND helper = CreateWindowExW(0, L"VeskHelperAppHelper", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                      nullptr, instance, nullptr);
  if (helper == nullptr) return 3;
  SetWindowPos(helper, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return static_cast<int>(message.wParam);
}
