#include "platform/linux/LinuxWindows.h"

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "platform/WindowSession.h"
#include "platform/linux/wayland/CompositorWindows.h"
#include "platform/linux/wayland/SwayCompositor.h"
#include "platform/linux/x11/X11Windows.h"
#ifdef VESK_HAVE_KWIN
#include "platform/linux/wayland/GnomeCompositor.h"
#include "platform/linux/wayland/KWinCompositor.h"
#endif

namespace vesk::platform::linux_backend {
namespace {

constexpr char kWaylandLack[] = "this Wayland desktop offers no way to ask another program's window to close";

// The window session of one call: its budget, the routes it chose and the X
// display connection. Members go in reverse order: the routes before the
// budget they draw on.
struct Session {
  int depth = 0;
  WaitBudget budget;
  X11Windows x11{budget};
  bool decided = false;
  bool wayland = false;
  std::string lack;
  std::optional<CompositorWindows> compositor;

  // The compositor route, decided at the first need; null when the session
  // goes through X11 alone.
  CompositorWindows* Compositor() {
    if (!decided) {
      decided = true;
      LinuxWindows::Choice choice = LinuxWindows::Choose(budget);
      wayland = choice.wayland;
      lack = std::move(choice.lack);
      if (choice.compositor) compositor.emplace(std::move(choice.compositor), std::move(choice.views));
    }
    return compositor ? &*compositor : nullptr;
  }
  // Whether X windows are asked through X11: always, except under a
  // compositor route whose listing held none.
  bool UsesX11() {
    CompositorWindows* routed = Compositor();
    return routed == nullptr || routed->has_x_windows();
  }
};
thread_local std::unique_ptr<Session> t_session;
// Windows left unasked because they take no close request, on this thread.
thread_local std::uint64_t t_not_taken = 0;

Session& Current() { return *t_session; }

bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Takes the compositor when it connected and lists its windows; otherwise
// appends why not to `lack`.
bool Proven(Result<std::unique_ptr<ICompositor>> connected, LinuxWindows::Choice& choice, std::string& lack) {
  if (connected && (*connected)->ListViews(choice.views)) {
    choice.compositor = std::move(*connected);
    return true;
  }
  choice.views.clear();
  lack += connected ? (*connected)->Name() + " " + (*connected)->problem() : connected.problem();
  return false;
}

}  // namespace

bool LinuxWindows::WaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return Set("WAYLAND_DISPLAY") || (type != nullptr && std::string(type) == "wayland");
}

LinuxWindows::Choice LinuxWindows::Choose(WaitBudget& budget) {
  Choice choice;
  choice.wayland = WaylandSession();
  if (!choice.wayland) return choice;
  std::string lack;
  if (Proven(SwayCompositor::Connect(budget), choice, lack)) return choice;
  // The other compositors' routes, each tried when none above listed its windows.
#ifdef VESK_HAVE_KWIN
  lack += "; for KWin, ";
  if (Proven(KWinCompositor::Connect(budget), choice, lack)) return choice;
  lack += "; for GNOME Shell, ";
  if (Proven(GnomeCompositor::Connect(budget), choice, lack)) return choice;
#endif
  choice.lack = std::move(lack);
  return choice;
}

WindowHandle LinuxWindows::CreateHiddenWindow() {
  // Linux has no owner windows for started programs: the hidden owner is a
  // token handle, unique per call, that needs no display.
  static std::atomic<WindowHandle> next{1};
  return next++;
}

void LinuxWindows::BeginSession() {
  if (!t_session) t_session = std::make_unique<Session>();
  ++t_session->depth;
}

void LinuxWindows::EndSession() {
  if (!t_session || --t_session->depth > 0) return;
  t_session.reset();
}

bool LinuxWindows::ConnectionOpen() { return t_session && t_session->x11.connection_open(); }

unsigned long LinuxWindows::RequestsThisSession() { return t_session ? t_session->x11.requests() : 0; }

WindowHandle LinuxWindows::FindWindowA(const char*, const char*) {
  const WindowSession scope(*this);
  Session& session = Current();
  if (CompositorWindows* compositor = session.Compositor()) {
    if (const WindowHandle first = compositor->FindWindowA()) return first;
  }
  return session.UsesX11() ? session.x11.First() : 0;
}

WindowHandle LinuxWindows::GetWindow(WindowHandle window, int command) {
  const WindowSession scope(*this);
  Session& session = Current();
  if (command != kGetWindowNext) return 0;
  CompositorWindows* compositor = session.Compositor();
  if (compositor != nullptr && CompositorWindows::IsViewHandle(window)) {
    // The native views first, then the X windows.
    if (const WindowHandle next = compositor->GetWindow(window, command)) return next;
    return session.UsesX11() ? session.x11.First() : 0;
  }
  return session.UsesX11() && !CompositorWindows::IsViewHandle(window) ? session.x11.Next(window) : 0;
}

WindowHandle LinuxWindows::GetParent(WindowHandle window) {
  const WindowSession scope(*this);
  Session& session = Current();
  CompositorWindows* compositor = session.Compositor();
  if (CompositorWindows::IsViewHandle(window)) return compositor != nullptr ? compositor->GetParent(window) : 0;
  return session.UsesX11() ? session.x11.Owner(window) : 0;
}

std::uint32_t LinuxWindows::GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) {
  const WindowSession scope(*this);
  Session& session = Current();
  process_id = 0;
  CompositorWindows* compositor = session.Compositor();
  if (CompositorWindows::IsViewHandle(window)) {
    return compositor != nullptr ? compositor->GetWindowThreadProcessId(window, process_id) : 0;
  }
  if (session.UsesX11()) process_id = session.x11.ProcessOf(window);
  return 0;
}

bool LinuxWindows::IsWindowVisible(WindowHandle window) {
  const WindowSession scope(*this);
  Session& session = Current();
  CompositorWindows* compositor = session.Compositor();
  if (CompositorWindows::IsViewHandle(window)) return compositor != nullptr && compositor->IsWindowVisible(window);
  return session.UsesX11() && session.x11.Visible(window);
}

WindowRoute LinuxWindows::Route() {
  WindowRoute route;
  if (t_session && t_session->decided) {
    Session& session = Current();
    const WindowRoute x11 = session.x11.Route();
    if (session.compositor) {
      route = session.compositor->Route();
      // The X windows it listed went to X11, which may not have been there.
      if (session.compositor->has_x_windows() && !x11.reached) {
        route.complete = false;
        route.description += "; its X programs could not be asked: " + x11.description;
      }
    } else if (session.wayland) {
      // Xwayland reaches only the programs that run under it.
      route = x11;
      route.complete = false;
      const std::string lack = std::string(kWaylandLack) + " (" + session.lack + ")";
      route.description = x11.reached ? lack + "; only X programs are reached, through " + x11.description
                                      : lack + ", and " + x11.description;
    } else {
      route = x11;
    }
  }
  route.close_requests_not_taken = t_not_taken;
  return route;
}

bool LinuxWindows::PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  if (message != kMessageClose || window <= 0) return false;
  const WindowSession scope(*this);
  Session& session = Current();
  CompositorWindows* compositor = session.Compositor();
  if (CompositorWindows::IsViewHandle(window)) return compositor != nullptr && compositor->PostMessageA(window, message);
  if (!session.UsesX11()) return false;
  switch (session.x11.RequestClose(window)) {
    case X11Desktop::CloseRequest::kSent:
      return true;
    case X11Desktop::CloseRequest::kNotTaken:
      ++t_not_taken;
      return false;
    case X11Desktop::CloseRequest::kFailed:
      return false;
  }
  return false;
}

}  // namespace vesk::platform::linux_backend
