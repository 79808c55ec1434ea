#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/IWindows.h"

namespace vesk::platform::win32 {

// Top-level windows of the Win32 desktop.
class Win32Windows : public IWindows {
 public:
  Win32Windows();
  // Destroys the hidden windows of the calling thread and asks those of
  // other threads to close (a window can only be destroyed by its thread).
  ~Win32Windows() override;
  Win32Windows(const Win32Windows&) = delete;
  Win32Windows& operator=(const Win32Windows&) = delete;

  // A window of the library's own class "VeskProgramManagerHidden", never
  // shown, owned by the calling thread. Fails with 75 when the system
  // refuses to register the class or create the window.
  WindowHandle CreateHiddenWindow() override;

  // The Win32 window functions need no connection: sessions do nothing.
  void BeginSession() override {}
  void EndSession() override {}

  // The walk through FindWindowW, GetWindow, GetParent and
  // GetWindowThreadProcessId of user32; names are UTF-8, null for any.
  WindowHandle FindWindowA(const char* class_name, const char* window_name) override;
  WindowHandle GetWindow(WindowHandle window, int command) override;
  WindowHandle GetParent(WindowHandle window) override;
  std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) override;
  bool IsWindowVisible(WindowHandle window) override;
  // The Win32 desktop is always there; refused close requests are counted.
  WindowRoute Route() override { return {true, "", refused_.load()}; }
  // PostMessageW; a request refused with ERROR_ACCESS_DENIED is counted.
  bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override;

 private:
  std::mutex mutex_;
  std::vector<void*> windows_;  // every hidden window created, as HWND
  std::atomic<std::uint64_t> refused_{0};
};

}  // namespace vesk::platform::win32
