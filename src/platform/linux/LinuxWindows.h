#pragma once

#include <memory>
#include <string>

#include "platform/IWindows.h"
#include "platform/linux/wayland/ICompositor.h"
#include "platform/linux/x11/X11Windows.h"

namespace vesk::platform::linux_backend {

// Top-level windows on Linux, through the route the session offers, chosen
// once per session (the outermost one of the thread) at its first need:
// - in a Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland),
//   the compositor's own route when one connects (CompositorWindows over
//   SwayCompositor);
// - otherwise there, X11 through Xwayland (X11Windows), which sees only the
//   programs that run under it: Route() is then not complete and its
//   description says what the desktop lacks;
// - outside Wayland, X11.
// Route() names the route taken. Operations called outside any session run
// in a session of their own.
class LinuxWindows : public IWindows {
 public:
  // What a session decides, from its environment (for tests).
  struct Choice {
    bool wayland = false;
    std::unique_ptr<ICompositor> compositor;  // null: X11
    std::string lack;  // in a Wayland session without a compositor route, why there is none
  };
  // Whether the environment names a Wayland session.
  static bool WaylandSession();
  // Decides the route as a session would.
  static Choice Choose();

  WindowHandle CreateHiddenWindow() override;
  void BeginSession() override;
  void EndSession() override;
  WindowHandle FindWindowA(const char* class_name, const char* window_name) override;
  WindowHandle GetWindow(WindowHandle window, int command) override;
  WindowHandle GetParent(WindowHandle window) override;
  std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) override;
  bool IsWindowVisible(WindowHandle window) override;
  // The route taken (default before the session's first need).
  WindowRoute Route() override;
  bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override;

  // Whether this thread holds an open X display connection now (for tests).
  static bool ConnectionOpen() { return X11Windows::ConnectionOpen(); }
  // X requests sent in this thread's session so far (for tests).
  static unsigned long RequestsThisSession() { return X11Windows::RequestsThisSession(); }

 private:
  X11Windows x11_;
};

}  // namespace vesk::platform::linux_backend
