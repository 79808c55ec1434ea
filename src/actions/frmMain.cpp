#include "actions/frmMain.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/IWindows.h"
#include "platform/Platform.h"

namespace vesk {
namespace {
struct OwnerWindow {
  std::uint64_t platform_serial;  // 0: an empty entry (serials start at 1)
  platform::WindowHandle handle;
};

// This thread's windows, one per platform: usually one, on the real
// platform; tests that install several simulated platforms on one thread get
// one each, and past kRemembered the oldest is forgotten. Trivially
// destructible on purpose: the MinGW runtime frees thread-local storage
// before it destroys the objects in it, so a thread-local with a destructor
// would free memory at thread exit that another thread may own by then.
struct OwnerWindows {
  static constexpr std::size_t kRemembered = 8;
  std::array<OwnerWindow, kRemembered> entries;
  std::size_t next;  // where the next new window is remembered
};
static_assert(std::is_trivially_destructible_v<OwnerWindows>);
thread_local OwnerWindows t_windows{};
}  // namespace

platform::WindowHandle frmMain::hWnd() {
  platform::Platform& current = platform::Current();
  for (const OwnerWindow& window : t_windows.entries) {
    if (window.platform_serial == current.serial) return window.handle;
  }
  const platform::WindowHandle handle = current.windows->CreateHiddenWindow();
  t_windows.entries[t_windows.next] = OwnerWindow{current.serial, handle};
  t_windows.next = (t_windows.next + 1) % OwnerWindows::kRemembered;
  return handle;
}

void frmMain::Forget(const platform::Platform& platform) {
  for (OwnerWindow& window : t_windows.entries) {
    if (window.platform_serial == platform.serial) window = OwnerWindow{};
  }
}

}  // namespace vesk
