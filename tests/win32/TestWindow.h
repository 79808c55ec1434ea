#pragma once

#include <windows.h>

#include <vector>

namespace vesk::test {

// A top-level window of the test, never shown, that records the messages
// its procedure receives (WM_CLOSE destroys it, as the default would).
// Destroyed with the object unless it is gone already.
class TestWindow {
 public:
  explicit TestWindow(HWND owner = nullptr) {
    static const ATOM kClass = [] {
      WNDCLASSEXW window_class{};
      window_class.cbSize = sizeof(window_class);
      window_class.lpfnWndProc = &Procedure;
      window_class.hInstance = GetModuleHandleW(nullptr);
      window_class.lpszClassName = L"VeskTestWindow";
      return RegisterClassExW(&window_class);
    }();
    hwnd_ = CreateWindowExW(0, MAKEINTATOM(kClass), L"vesk test window", owner != nullptr ? WS_POPUP : WS_OVERLAPPED,
                            0, 0, 10, 10, owner, nullptr, GetModuleHandleW(nullptr), this);
  }
  ~TestWindow() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Messages at WM_CLOSE or above (WM_CLOSE, WM_USER + n, ...) in order of arrival.
  const std::vector<UINT>& received() const { return received_; }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && (message == WM_CLOSE || message >= WM_USER)) self->received_.push_back(message);
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;
  std::vector<UINT> received_;
};

}  // namespace vesk::test
