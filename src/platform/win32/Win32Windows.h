#pragma once

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

 private:
  std::mutex mutex_;
  std::vector<void*> windows_;  // every hidden window created, as HWND
};

}  // namespace vesk::platform::win32
