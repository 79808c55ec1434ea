#include "platform/linux/x11/X11WindowCache.h"

namespace vesk::platform::linux_backend {

X11WindowCache::X11WindowCache(X11Connection& connection)
    : connection_(connection), first_request_(connection.last_sequence()), desktop_(connection) {}

unsigned long X11WindowCache::requests() const { return connection_.last_sequence() - first_request_; }

const std::vector<X11Desktop::Window>& X11WindowCache::Read() {
  X11Desktop::Stack stack = desktop_.TopLevelWindows();
  window_manager_ = stack.window_manager;
  for (std::size_t i = 0; i < stack.mapped.size(); ++i) facts_[stack.windows[i]].visible = stack.mapped[i];
  order_ = std::move(stack.windows);
  order_owners_asked_ = false;
  return *order_;
}

const std::vector<X11Desktop::Window>& X11WindowCache::TopLevelWindows() { return order_ ? *order_ : Read(); }

const std::vector<X11Desktop::Window>& X11WindowCache::RereadTopLevelWindows() { return Read(); }

void X11WindowCache::LearnOwners(const std::vector<X11Desktop::Window>& windows) {
  std::vector<X11Desktop::Window> unknown;
  for (const X11Desktop::Window window : windows) {
    if (!facts_[window].exists) unknown.push_back(window);
  }
  if (unknown.empty()) return;
  const std::vector<std::optional<X11Desktop::Window>> owners = desktop_.OwnersIfExist(unknown);
  for (std::size_t i = 0; i < unknown.size(); ++i) {
    Facts& facts = facts_[unknown[i]];
    facts.exists = owners[i].has_value();
    facts.owner = owners[i].value_or(0);
  }
}

X11WindowCache::Facts& X11WindowCache::FactsOf(X11Desktop::Window window) {
  if (!facts_[window].exists && order_ && !order_owners_asked_) {
    // The walk is about to ask of every window of the order: all in one go.
    order_owners_asked_ = true;
    LearnOwners(*order_);
  }
  if (!facts_[window].exists) LearnOwners({window});
  return facts_[window];
}

X11Desktop::Window X11WindowCache::Owner(X11Desktop::Window window) { return FactsOf(window).owner; }

bool X11WindowCache::Visible(X11Desktop::Window window) {
  Facts& facts = FactsOf(window);
  if (!*facts.exists) return false;
  if (!facts.visible) {
    if (!window_manager_) window_manager_ = desktop_.WindowManagerRuns();
    facts.visible = desktop_.Visible(window, *window_manager_);
  }
  return *facts.visible;
}

std::uint32_t X11WindowCache::ProcessOf(X11Desktop::Window window) {
  Facts& facts = FactsOf(window);
  if (!*facts.exists) return 0;
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
