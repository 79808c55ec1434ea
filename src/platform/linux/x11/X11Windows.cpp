#include "platform/linux/x11/X11Windows.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowSession.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Desktop.h"
#include "platform/linux/x11/X11WindowCache.h"

namespace vesk::platform::linux_backend {
namespace {

// The connection of the thread's outermost session. Members are destroyed in
// reverse order: what the session learnt goes before the connection.
struct Session {
  int depth = 0;
  bool tried = false;  // the connection was attempted in this session
  std::string display_name;  // DISPLAY when it was attempted
  std::optional<X11Connection> connection;
  std::optional<X11WindowCache> cache;
  std::size_t next_position = 0;  // in the walk, just below the last answer of GetWindow
  std::optional<std::string> problem;  // why the session has no display, once it found none
};
thread_local Session t_session;

// Closes the thread's connection, in the order of Session's members.
void CloseConnection() {
  t_session.cache.reset();
  t_session.next_position = 0;
  t_session.connection.reset();
}

// Whether the connection broke during the session (the server went away, or
// it kept the session waiting past its budget). The connection is then
// closed at once: the rest of the session has no display, and nothing it
// learnt before is answered any more.
bool ConnectionLost() {
  if (!t_session.connection || !t_session.connection->Broken()) return false;
  t_session.problem = "X display " + t_session.display_name + " " + t_session.connection->problem();
  CloseConnection();
  return true;
}

// The thread's connection, opened on first need within a session; null when
// there is none or it was lost. With `check_server`, what the server sent is
// read first (no request, no wait), so that a server gone since the last
// reply shows at once. Walks check at their start and close requests before
// they are sent; the steps of a walk answer from what the call learnt, without
// a system call each.
X11Connection* SessionConnection(bool check_server = false) {
  if (!t_session.tried) {
    t_session.tried = true;
    const char* name = std::getenv("DISPLAY");
    t_session.display_name = name != nullptr ? name : "";
    if (t_session.display_name.empty()) {
      t_session.problem = "no X display is set (DISPLAY is empty)";
      return nullptr;
    }
    t_session.connection.emplace(t_session.display_name);
    if (!t_session.connection->connected()) {
      t_session.problem = "X display " + t_session.display_name + " " + t_session.connection->problem();
      t_session.connection.reset();
      return nullptr;
    }
    t_session.cache.emplace(*t_session.connection);
  } else if (check_server && t_session.connection) {
    t_session.connection->CheckServer();
  }
  return ConnectionLost() || !t_session.connection ? nullptr : &*t_session.connection;
}

// What the session knows of its display; call only after SessionConnection()
// found one.
X11WindowCache& Cache() { return *t_session.cache; }

WindowHandle ToHandle(X11Desktop::Window window) {
  // X resource ids use 29 bits; anything wider is not a window of ours.
  return window <= 0x7fffffffU ? static_cast<WindowHandle>(window) : 0;
}

X11Desktop::Window ToWindow(WindowHandle handle) { return static_cast<X11Desktop::Window>(handle); }

// Where `window` stands in `walk`; a walk steps down one window at a time,
// so the place after the last answer is tried first.
std::optional<std::size_t> PositionIn(const std::vector<X11Desktop::Window>& walk, WindowHandle window) {
  const std::size_t hint = t_session.next_position;
  if (hint < walk.size() && walk[hint] == ToWindow(window)) return hint;
  const auto found = std::find(walk.begin(), walk.end(), ToWindow(window));
  if (found == walk.end()) return std::nullopt;
  return static_cast<std::size_t>(found - walk.begin());
}

}  // namespace

WindowHandle X11Windows::CreateHiddenWindow() {
  static std::atomic<WindowHandle> next{1};
  return next++;
}

void X11Windows::BeginSession() { ++t_session.depth; }

void X11Windows::EndSession() {
  if (--t_session.depth > 0) return;
  if (t_session.connection) t_session.connection->Settle();
  CloseConnection();
  t_session.tried = false;
  t_session.display_name.clear();
  t_session.problem.reset();
}

bool X11Windows::ConnectionOpen() { return t_session.connection.has_value(); }

unsigned long X11Windows::RequestsThisSession() {
  return t_session.cache ? t_session.cache->requests() : 0;
}

// Each operation below answers "none" when the connection was lost during
// it: what it read may be partial.

WindowHandle X11Windows::FindWindowA(const char*, const char*) {
  const WindowSession scope(*this);
  if (SessionConnection(true) == nullptr) return 0;
  const std::vector<X11Desktop::Window>& walk = Cache().TopLevelWindows();
  const WindowHandle first = walk.empty() ? 0 : ToHandle(walk.front());
  return ConnectionLost() ? 0 : first;
}

WindowHandle X11Windows::GetWindow(WindowHandle window, int command) {
  const WindowSession scope(*this);
  if (SessionConnection() == nullptr || command != kGetWindowNext) return 0;
  const std::vector<X11Desktop::Window>* walk = &Cache().TopLevelWindows();
  std::optional<std::size_t> position = PositionIn(*walk, window);
  if (!position) {
    walk = &Cache().RereadTopLevelWindows();
    position = PositionIn(*walk, window);
  }
  if (!position || *position + 1 >= walk->size()) return 0;
  const WindowHandle next = ToHandle((*walk)[*position + 1]);
  if (ConnectionLost()) return 0;
  t_session.next_position = *position + 1;
  return next;
}

WindowHandle X11Windows::GetParent(WindowHandle window) {
  const WindowSession scope(*this);
  if (SessionConnection() == nullptr || window <= 0) return 0;
  const WindowHandle owner = ToHandle(Cache().Owner(ToWindow(window)));
  return ConnectionLost() ? 0 : owner;
}

std::uint32_t X11Windows::GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) {
  const WindowSession scope(*this);
  process_id = 0;
  if (SessionConnection() == nullptr || window <= 0) return 0;
  const std::uint32_t process = Cache().ProcessOf(ToWindow(window));
  if (!ConnectionLost()) process_id = process;
  return 0;
}

bool X11Windows::IsWindowVisible(WindowHandle window) {
  const WindowSession scope(*this);
  if (SessionConnection() == nullptr || window <= 0) return false;
  const bool visible = Cache().Visible(ToWindow(window));
  return !ConnectionLost() && visible;
}

WindowRoute X11Windows::Route() {
  if (t_session.problem) return {false, *t_session.problem};
  if (t_session.connection) return {true, "X display " + t_session.display_name};
  return {};
}

bool X11Windows::PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  if (message != kMessageClose || window <= 0) return false;
  const WindowSession scope(*this);
  if (SessionConnection(true) == nullptr) return false;
  const bool sent = Cache().desktop().RequestClose(ToWindow(window));
  return !ConnectionLost() && sent;
}

}  // namespace vesk::platform::linux_backend
