#include "platform/linux/LinuxWindows.h"

#include <atomic>

namespace vesk::platform::linux_backend {

WindowHandle LinuxWindows::CreateHiddenWindow() {
  static std::atomic<WindowHandle> next{1};
  return next++;
}

}  // namespace vesk::platform::linux_backend
