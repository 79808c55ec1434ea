#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/IWindows.h"

namespace vesk::platform::win32 {

// Top-level windows of the Win32 desktop.
class Win32Windows : public IWindows {
 public:
  Win32Windows() = default;
  // Leaves the hidden windows alone: it may run in DLL_PROCESS_DETACH, where
  // no window may be destroyed. ReleaseThreadWindows is the way out.
  ~Win32Windows() override = default;
  Win32Windows(const Win32Windows&) = delete;
  Win32Windows& operator=(const Win32Windows&) = delete;

  // A window of the library's own class "VeskProgramManagerHidden", never
  // shown, owned by the calling thread. Fails with 75 when the system
  // refuses to register the class or create the window.
  WindowHandle CreateHiddenWindow() override;
  // Destroys the calling thread's hidden windows (a window can only be
  // destroyed by its thread; those of other threads end with them) and, once
  // no hidden window is left, unregisters the class. True when none is left.
  bool ReleaseThreadWindows();

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
  // The Win32 desktop is always there; the close requests refused on the
  // calling thread are counted (per thread, so that end actions on two
  // threads never count each other's).
  WindowRoute Route() override;
  // PostMessageW; a request refused with ERROR_ACCESS_DENIED is counted.
  bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override;

 private:
  std::mutex mutex_;
  std::vector<void*> windows_;  // the hidden windows not yet released, as HWND
  bool class_registered_ = false;
};

}  // namespace vesk::platform::win32
