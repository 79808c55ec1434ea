#include "actions/frmMain.h"

#include <cstdint>
#include <vector>

#include "platform/IWindows.h"
#include "platform/Platform.h"

namespace vesk {
namespace {
struct OwnerWindow {
  std::uint64_t platform_serial;
  platform::WindowHandle handle;
};
// Usually one entry: the window of this thread on the real platform. Tests
// that install several simulated platforms on one thread get one each.
thread_local std::vector<OwnerWindow> t_windows;
}  // namespace

platform::WindowHandle frmMain::hWnd() {
  platform::Platform& current = platform::Current();
  for (const OwnerWindow& window : t_windows) {
    if (window.platform_serial == current.serial) return window.handle;
  }
  const platform::WindowHandle handle = current.windows->CreateHiddenWindow();
  t_windows.push_back(OwnerWindow{current.serial, handle});
  return handle;
}

}  // namespace vesk
