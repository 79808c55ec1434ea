#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/IWindows.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/wayland/CompositorView.h"
#include "platform/linux/wayland/ICompositor.h"

namespace vesk::platform::linux_backend {

// Top-level windows on Linux, through the routes the session offers, chosen
// once per session (the outermost one of the thread) at its first need:
// - in a Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland),
//   the compositor's own route for native Wayland windows, when one connects
//   and lists its windows (sway's IPC, then KWin's scripts, then GNOME
//   Shell's window-closer@vesk-host extension); its X windows
//   go through the X11 route on the session's Xwayland display, which is
//   connected only when the listing holds X windows;
// - otherwise there, X11 through Xwayland alone, which sees only the programs
//   that run under it: Route() is then not complete and says what is lacking;
// - outside Wayland, X11.
// One session object per call holds the routes and the call's one WaitBudget,
// shared by every route tried. Operations called outside any session run in
// a session of their own.
class LinuxWindows : public IWindows {
 public:
  // What a session decides, from its environment (for tests).
  struct Choice {
    bool wayland = false;
    std::unique_ptr<ICompositor> compositor;  // proven by one listing; null: X11 only
    std::vector<CompositorView> views;        // that listing
    std::string lack;  // in a Wayland session without a compositor route, why there is none
  };
  // Whether the environment names a Wayland session.
  static bool WaylandSession();
  // Decides the route as a session would, its waits drawn from `budget`.
  static Choice Choose(WaitBudget& budget);

  WindowHandle CreateHiddenWindow() override;
  void BeginSession() override;
  void EndSession() override;
  WindowHandle FindWindowA(const char* class_name, const char* window_name) override;
  WindowHandle GetWindow(WindowHandle window, int command) override;
  WindowHandle GetParent(WindowHandle window) override;
  std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) override;
  bool IsWindowVisible(WindowHandle window) override;
  // The routes taken (default before the session's first need).
  WindowRoute Route() override;
  // WM_CLOSE only: to a native Wayland view through its compositor, to an X
  // window as WM_DELETE_WINDOW when it takes that protocol.
  bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override;

  // Whether this thread holds an open X display connection now (for tests).
  static bool ConnectionOpen();
  // X requests sent in this thread's session so far (for tests).
  static unsigned long RequestsThisSession();
};

}  // namespace vesk::platform::linux_backend
