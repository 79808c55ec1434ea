#include "platform/linux/LinuxWindows.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "platform/WindowSession.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/wayland/CompositorWindows.h"
#include "platform/linux/wayland/SwayCompositor.h"
#ifdef VESK_HAVE_KWIN
#include "platform/linux/wayland/KWinCompositor.h"
#endif

namespace vesk::platform::linux_backend {
namespace {

constexpr char kWaylandLack[] = "this Wayland desktop offers no way to ask another program's window to close";

struct Session {
  int depth = 0;
  bool decided = false;
  bool wayland = false;
  std::string lack;
  WaitBudget budget{WaitBudget::kPerCall};  // the compositor's waits; outlives it (declared first)
  std::optional<CompositorWindows> compositor;
};
thread_local Session t_session;

bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// The compositor route of the session, decided at the first need; null when
// the session goes through X11.
CompositorWindows* Compositor() {
  if (!t_session.decided) {
    t_session.decided = true;
    LinuxWindows::Choice choice = LinuxWindows::Choose();
    t_session.wayland = choice.wayland;
    t_session.lack = std::move(choice.lack);
    if (choice.compositor) t_session.compositor.emplace(std::move(choice.compositor));
  }
  return t_session.compositor ? &*t_session.compositor : nullptr;
}

}  // namespace

bool LinuxWindows::WaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return Set("WAYLAND_DISPLAY") || (type != nullptr && std::string(type) == "wayland");
}

LinuxWindows::Choice LinuxWindows::Choose() {
  Choice choice;
  choice.wayland = WaylandSession();
  if (!choice.wayland) return choice;
  std::string problem;
  choice.compositor = SwayCompositor::Connect(problem);
  if (choice.compositor) return choice;
  choice.lack = problem;
  // The other compositors' routes, each tried when none above connected.
#ifdef VESK_HAVE_KWIN
  choice.compositor = KWinCompositor::Connect(t_session.budget, problem);
  if (choice.compositor) return choice;
  choice.lack += "; for KWin, " + problem;
#endif
  return choice;
}

WindowHandle LinuxWindows::CreateHiddenWindow() { return x11_.CreateHiddenWindow(); }

void LinuxWindows::BeginSession() {
  ++t_session.depth;
  x11_.BeginSession();
}

void LinuxWindows::EndSession() {
  x11_.EndSession();
  if (--t_session.depth > 0) return;
  t_session = Session{};
}

WindowHandle LinuxWindows::FindWindowA(const char* class_name, const char* window_name) {
  const WindowSession scope(*this);
  if (CompositorWindows* compositor = Compositor()) return compositor->FindWindowA();
  return x11_.FindWindowA(class_name, window_name);
}

WindowHandle LinuxWindows::GetWindow(WindowHandle window, int command) {
  const WindowSession scope(*this);
  if (CompositorWindows* compositor = Compositor()) return compositor->GetWindow(window, command);
  return x11_.GetWindow(window, command);
}

WindowHandle LinuxWindows::GetParent(WindowHandle window) {
  const WindowSession scope(*this);
  if (CompositorWindows* compositor = Compositor()) return compositor->GetParent(window);
  return x11_.GetParent(window);
}

std::uint32_t LinuxWindows::GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) {
  const WindowSession scope(*this);
  if (CompositorWindows* compositor = Compositor()) return compositor->GetWindowThreadProcessId(window, process_id);
  return x11_.GetWindowThreadProcessId(window, process_id);
}

bool LinuxWindows::IsWindowVisible(WindowHandle window) {
  const WindowSession scope(*this);
  if (CompositorWindows* compositor = Compositor()) return compositor->IsWindowVisible(window);
  return x11_.IsWindowVisible(window);
}

WindowRoute LinuxWindows::Route() {
  if (!t_session.decided) return {};
  if (t_session.compositor) return t_session.compositor->Route();
  WindowRoute route = x11_.Route();
  if (!t_session.wayland) return route;
  // Xwayland reaches only the programs that run under it.
  route.complete = false;
  const std::string lack = std::string(kWaylandLack) + " (" + t_session.lack + ")";
  route.description = route.reached ? lack + "; only X programs are reached, through " + route.description
                                    : lack + ", and " + route.description;
  return route;
}

bool LinuxWindows::PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                                std::intptr_t lparam) {
  const WindowSession scope(*this);
  if (CompositorWindows* compositor = Compositor()) return compositor->PostMessageA(window, message);
  return x11_.PostMessageA(window, message, wparam, lparam);
}

}  // namespace vesk::platform::linux_backend
