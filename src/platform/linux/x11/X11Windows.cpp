#include "platform/linux/x11/X11Windows.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vesk::platform::linux_backend {
namespace {

WindowHandle ToHandle(X11Desktop::Window window) {
  // X resource ids use 29 bits; anything wider is not a window of ours.
  return window < 0x20000000U ? static_cast<WindowHandle>(window) : 0;
}

X11Desktop::Window ToWindow(WindowHandle handle) { return static_cast<X11Desktop::Window>(handle); }

}  // namespace

X11Windows::~X11Windows() {
  // Requests without a reply reach the server before the socket closes.
  if (connection_) connection_->Settle();
  Close();
}

void X11Windows::Close() {
  cache_.reset();
  next_position_ = 0;
  connection_.reset();
}

// Whether the connection broke (the server went away, or it kept the
// session waiting past its budget). It is then closed at once: the rest of
// the session has no display, and nothing it learnt before is answered.
bool X11Windows::ConnectionLost() {
  if (!connection_ || !connection_->Broken()) return false;
  problem_ = "X display " + display_name_ + " " + connection_->problem();
  Close();
  return true;
}

// The connection, opened on first need; null when there is none or it was
// lost. With `check_server`, what the server sent is read first (no request,
// no wait), so that a server gone since the last reply shows at once. Walks
// check at their start and close requests before they are sent; the steps of
// a walk answer from what the session learnt, without a system call each.
X11Connection* X11Windows::Connection(bool check_server) {
  if (!tried_) {
    tried_ = true;
    const char* name = std::getenv("DISPLAY");
    display_name_ = name != nullptr ? name : "";
    if (display_name_.empty()) {
      problem_ = "no X display is set (DISPLAY is empty)";
      return nullptr;
    }
    connection_.emplace(display_name_, budget_);
    if (!connection_->connected()) {
      problem_ = "X display " + display_name_ + " " + connection_->problem();
      connection_.reset();
      return nullptr;
    }
    cache_.emplace(*connection_);
  } else if (check_server && connection_) {
    connection_->CheckServer();
  }
  return ConnectionLost() || !connection_ ? nullptr : &*connection_;
}

// Where `window` stands in `walk`; a walk steps down one window at a time,
// so the place after the last answer is tried first.
std::optional<std::size_t> X11Windows::PositionIn(const std::vector<X11Desktop::Window>& walk,
                                                  WindowHandle window) const {
  if (next_position_ < walk.size() && walk[next_position_] == ToWindow(window)) return next_position_;
  const auto found = std::find(walk.begin(), walk.end(), ToWindow(window));
  if (found == walk.end()) return std::nullopt;
  return static_cast<std::size_t>(found - walk.begin());
}

// Each operation below answers "none" when the connection was lost during
// it: what it read may be partial.

WindowHandle X11Windows::First() {
  if (Connection(true) == nullptr) return 0;
  const std::vector<X11Desktop::Window>& walk = cache_->TopLevelWindows();
  const WindowHandle first = walk.empty() ? 0 : ToHandle(walk.front());
  return ConnectionLost() ? 0 : first;
}

WindowHandle X11Windows::Next(WindowHandle window) {
  if (Connection() == nullptr) return 0;
  const std::vector<X11Desktop::Window>* walk = &cache_->TopLevelWindows();
  std::optional<std::size_t> position = PositionIn(*walk, window);
  if (!position) {
    walk = &cache_->RereadTopLevelWindows();
    position = PositionIn(*walk, window);
  }
  if (!position || *position + 1 >= walk->size()) return 0;
  const WindowHandle next = ToHandle((*walk)[*position + 1]);
  if (ConnectionLost()) return 0;
  next_position_ = *position + 1;
  return next;
}

WindowHandle X11Windows::Owner(WindowHandle window) {
  if (Connection() == nullptr || window <= 0) return 0;
  const WindowHandle owner = ToHandle(cache_->Owner(ToWindow(window)));
  return ConnectionLost() ? 0 : owner;
}

std::uint32_t X11Windows::ProcessOf(WindowHandle window) {
  if (Connection() == nullptr || window <= 0) return 0;
  const std::uint32_t process = cache_->ProcessOf(ToWindow(window));
  return ConnectionLost() ? 0 : process;
}

bool X11Windows::Visible(WindowHandle window) {
  if (Connection() == nullptr || window <= 0) return false;
  const bool visible = cache_->Visible(ToWindow(window));
  return !ConnectionLost() && visible;
}

WindowRoute X11Windows::Route() const {
  if (problem_) return {false, *problem_};
  if (connection_) return {true, "X display " + display_name_};
  return {};
}

X11Desktop::CloseRequest X11Windows::RequestClose(WindowHandle window) {
  if (window <= 0 || Connection(true) == nullptr) return X11Desktop::CloseRequest::kFailed;
  const X11Desktop::CloseRequest request = cache_->desktop().RequestClose(ToWindow(window));
  return ConnectionLost() ? X11Desktop::CloseRequest::kFailed : request;
}

}  // namespace vesk::platform::linux_backend
