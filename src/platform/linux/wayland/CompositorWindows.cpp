#include "platform/linux/wayland/CompositorWindows.h"

#include <algorithm>
#include <utility>

namespace vesk::platform::linux_backend {

CompositorWindows::CompositorWindows(std::unique_ptr<ICompositor> compositor, std::vector<CompositorView> listed)
    : compositor_(std::move(compositor)) {
  const auto x_windows =
      std::remove_if(listed.begin(), listed.end(), [](const CompositorView& view) { return view.xwayland; });
  x_windows_ = x_windows != listed.end();
  listed.erase(x_windows, listed.end());
  views_ = std::move(listed);
}

const CompositorView* CompositorWindows::ViewOf(WindowHandle window) {
  if (!IsViewHandle(window) || static_cast<std::size_t>(window - kFirstHandle) >= views_.size()) return nullptr;
  return &views_[static_cast<std::size_t>(window - kFirstHandle)];
}

WindowHandle CompositorWindows::FindWindowA() { return views_.empty() ? 0 : kFirstHandle; }

WindowHandle CompositorWindows::GetWindow(WindowHandle window, int command) {
  if (command != kGetWindowNext || ViewOf(window) == nullptr) return 0;
  return static_cast<std::size_t>(window - kFirstHandle) + 1 < views_.size() ? window + 1 : 0;
}

WindowHandle CompositorWindows::GetParent(WindowHandle window) {
  const CompositorView* view = ViewOf(window);
  return view != nullptr && view->owned ? window : 0;
}

std::uint32_t CompositorWindows::GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) {
  const CompositorView* view = ViewOf(window);
  process_id = view != nullptr ? view->process_id : 0;
  return 0;
}

bool CompositorWindows::IsWindowVisible(WindowHandle window) {
  const CompositorView* view = ViewOf(window);
  return view != nullptr && view->visible;
}

WindowRoute CompositorWindows::Route() const {
  if (problem_) return {false, compositor_->Name() + " " + *problem_};
  return {true, compositor_->Name()};
}

bool CompositorWindows::PostMessageA(WindowHandle window, std::uint32_t message) {
  const CompositorView* view = ViewOf(window);
  if (message != kMessageClose || view == nullptr || problem_) return false;
  if (compositor_->RequestClose(*view)) return true;
  // Refused, or the compositor is gone: only asking again tells which.
  const std::string refusal = compositor_->problem();
  std::vector<CompositorView> again;
  if (!compositor_->ListViews(again)) problem_ = refusal;
  return false;
}

}  // namespace vesk::platform::linux_backend
