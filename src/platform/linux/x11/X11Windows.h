#pragma once

#include "platform/IWindows.h"

namespace vesk::platform::linux_backend {

// Top-level windows of an X display, through XCB on the display named by
// DISPLAY (see X11Desktop for which windows count, their owners, processes
// and close requests). LinuxWindows chooses this route outside Wayland and
// in a Wayland session without a compositor route (through Xwayland).
//
// Connection: one per session. The outermost session of a thread opens it on
// first need and closes it when it ends; nested sessions share it. An
// operation called outside any session runs in a session of its own. The
// session waits on the display at most 5 s in all (connecting and every
// reply, X11Connection); past that, or when the server goes away, the
// connection is closed and the rest of the session has no windows and sends
// no close request. Route() then tells what happened, as it does when no
// display is set or it refused the connection. Nothing process-wide is
// touched: the host's own X connections and error handlers are left alone.
// Nothing is kept from one session to the next.
//
// Within one session each thing is asked of the X server once: the stacking
// order at the first FindWindowA (later walks of the session step through
// the same list; a window that is not in it makes GetWindow read the order
// again), the owner and existence of every window of the order in one batch
// at the first GetParent or GetWindowThreadProcessId, and the process ids of
// all clients in one X-Resource query at the first GetWindowThreadProcessId.
class X11Windows : public IWindows {
 public:
  // Linux has no owner windows for started programs: the hidden owner is a
  // token handle, unique per call, that needs no display connection.
  WindowHandle CreateHiddenWindow() override;

  void BeginSession() override;
  void EndSession() override;
  WindowHandle FindWindowA(const char* class_name, const char* window_name) override;
  WindowHandle GetWindow(WindowHandle window, int command) override;
  WindowHandle GetParent(WindowHandle window) override;
  std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) override;
  bool IsWindowVisible(WindowHandle window) override;
  // Unreached when this session tried the display and had none (unset,
  // refused, no answer in time) or lost it; the description names the
  // display and what happened.
  WindowRoute Route() override;
  // Translates WM_CLOSE into the X close request; other messages are refused.
  bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override;

  // Whether this thread holds an open display connection now (for tests).
  static bool ConnectionOpen();
  // X requests sent in this thread's session so far, 0 with no connection (for tests).
  static unsigned long RequestsThisSession();
};

}  // namespace vesk::platform::linux_backend
