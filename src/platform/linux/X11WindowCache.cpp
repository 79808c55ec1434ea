#include "platform/linux/X11WindowCache.h"

#include "platform/linux/X11Resources.h"

namespace vesk::platform::linux_backend {

X11WindowCache::X11WindowCache(_XDisplay* display)
    : display_(display), first_request_(XNextRequest(display)), desktop_(display) {}

unsigned long X11WindowCache::requests() const { return XNextRequest(display_) - first_request_; }

const std::vector<X11Desktop::Window>& X11WindowCache::TopLevelWindows() {
  if (!order_) order_ = desktop_.TopLevelWindows();
  return *order_;
}

const std::vector<X11Desktop::Window>& X11WindowCache::RereadTopLevelWindows() {
  order_ = desktop_.TopLevelWindows();
  return *order_;
}

const X11WindowCache::Facts& X11WindowCache::FactsOf(X11Desktop::Window window) {
  const auto known = facts_.find(window);
  if (known != facts_.end()) return known->second;
  Facts facts;
  const std::optional<X11Desktop::Window> owner = desktop_.OwnerIfExists(window);
  facts.exists = owner.has_value();
  facts.owner = owner.value_or(0);
  return facts_.emplace(window, facts).first->second;
}

X11Desktop::Window X11WindowCache::Owner(X11Desktop::Window window) { return FactsOf(window).owner; }

bool X11WindowCache::Visible(X11Desktop::Window window) {
  if (!FactsOf(window).exists) return false;
  Facts& facts = facts_[window];
  if (!facts.visible) {
    if (!window_manager_) window_manager_ = desktop_.WindowManagerRuns();
    facts.visible = desktop_.Visible(window, *window_manager_);
  }
  return *facts.visible;
}

std::uint32_t X11WindowCache::ProcessOf(X11Desktop::Window window) {
  if (!FactsOf(window).exists) return 0;
  Facts& facts = facts_[window];
  if (!facts.process) {
    if (!clients_) clients_ = desktop_.AllClientProcesses();
    // A client that connected after the table was read is asked alone.
    std::optional<std::uint32_t> pid = clients_->Find(window);
    if (!pid) pid = desktop_.ServerProcessOf(window);
    facts.process = *pid != 0 ? *pid : desktop_.NetWmPid(window);
  }
  return *facts.process;
}

}  // namespace vesk::platform::linux_backend
