#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/IWindows.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Desktop.h"
#include "platform/linux/x11/X11WindowCache.h"

namespace vesk::platform::linux_backend {

// The top-level windows of the X display named by DISPLAY, for one window
// session (see X11Desktop for which windows count, their owners, processes
// and close requests). The connection is opened at the first need and
// closed with the object; its waits draw on the session's WaitBudget. Past
// the budget, or when the server goes away, the connection is closed and the
// rest of the session has no windows and sends no close request; Route()
// then tells what happened, as it does when no display is set or it refused
// the connection. Nothing process-wide is touched.
//
// Each thing is asked of the server once per session: the stacking order at
// the first First() (later walks step through the same list; a window that
// is not in it makes Next() read the order again), the owner and existence of
// every window of the order in one batch, and the process ids of all clients
// in one X-Resource query.
class X11Windows {
 public:
  explicit X11Windows(WaitBudget& budget) : budget_(budget) {}
  ~X11Windows();
  X11Windows(const X11Windows&) = delete;
  X11Windows& operator=(const X11Windows&) = delete;

  // The top window, 0 if none.
  WindowHandle First();
  // The window below `window`, 0 after the last.
  WindowHandle Next(WindowHandle window);
  // The window's owner (WM_TRANSIENT_FOR), 0 for none.
  WindowHandle Owner(WindowHandle window);
  // The window's process, 0 when unknown.
  std::uint32_t ProcessOf(WindowHandle window);
  bool Visible(WindowHandle window);
  // Asks the window to close (WM_DELETE_WINDOW only).
  X11Desktop::CloseRequest RequestClose(WindowHandle window);
  // Unreached when the display was tried and was not there or was lost.
  WindowRoute Route() const;
  bool connection_open() const { return connection_.has_value(); }
  // X requests sent since the connection opened, 0 with none (for tests).
  unsigned long requests() const { return cache_ ? cache_->requests() : 0; }

 private:
  X11Connection* Connection(bool check_server = false);
  bool ConnectionLost();
  void Close();
  std::optional<std::size_t> PositionIn(const std::vector<X11Desktop::Window>& walk, WindowHandle window) const;

  WaitBudget& budget_;
  bool tried_ = false;
  std::string display_name_;
  // Destroyed in reverse order: what the session learnt goes before the connection.
  std::optional<X11Connection> connection_;
  std::optional<X11WindowCache> cache_;
  std::size_t next_position_ = 0;  // in the walk, just below the last answer of Next()
  std::optional<std::string> problem_;
};

}  // namespace vesk::platform::linux_backend
