#pragma once

#include "platform/PlatformTypes.h"

namespace vesk {
namespace platform {
struct Platform;
}

// The hidden top-level window that owns whatever a start brings up. One per
// thread (and platform), created on first use and kept, never shown.
class frmMain {
 public:
  // The window of the calling thread, created now if it does not exist yet.
  static platform::WindowHandle hWnd();
  // Forgets the calling thread's window on `platform`, before it is destroyed.
  static void Forget(const platform::Platform& platform);
};

}  // namespace vesk
