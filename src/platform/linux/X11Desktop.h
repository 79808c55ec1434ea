#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

namespace vesk::platform::linux_backend {

// The top-level client windows of one X display, read as they stand now.
// A window that vanishes in the middle gives X errors, which the caller's
// ScopedXErrorHandler takes; the answers are then "none".
class X11Desktop {
 public:
  using Window = unsigned long;  // an X resource id

  explicit X11Desktop(_XDisplay* display) : display_(display) {}

  // The client windows in stacking order from the top: the window manager's
  // _NET_CLIENT_LIST_STACKING when one runs and keeps it; otherwise the
  // root's children, each frame replaced by the window below it that carries
  // WM_STATE; with no window manager, all children of the root, mapped or not.
  std::vector<Window> TopLevelWindows();

  // The window's WM_TRANSIENT_FOR, 0 when it has none.
  Window Owner(Window window);

  // The process that created the window: the X server's own answer (the
  // X-Resource extension's client ids), else _NET_WM_PID; 0 when unknown.
  std::uint32_t ProcessOf(Window window);

  // Asks the window to close: WM_DELETE_WINDOW when it takes that protocol,
  // else _NET_CLOSE_WINDOW through a window manager that supports it, else
  // nothing (false). Never destroys a window or kills a client.
  bool RequestClose(Window window);

 private:
  unsigned long InternAtom(const char* name);
  // A property of format 32 and the given type, or nothing.
  std::optional<std::vector<unsigned long>> Property32(Window window, const char* property, unsigned long type);
  bool WindowManagerRuns();
  bool HasWmState(Window window);
  // `window` or the first window below it that has WM_STATE; 0 if none.
  Window ClientWindow(Window window, int depth);
  std::vector<Window> Children(Window window);

  _XDisplay* display_;
};

}  // namespace vesk::platform::linux_backend
