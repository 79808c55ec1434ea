#include "platform/sim/SimMessagePump.h"

namespace vesk::platform::sim {

void SimMessagePump::DispatchPendingMessages() {
  log_.Record("DispatchPendingMessages", {});
  if (on_dispatch_) {
    // The hook may dispatch again (a nested scan); it runs once per dispatch.
    const std::function<void()> hook = std::move(on_dispatch_);
    on_dispatch_ = nullptr;
    hook();
    if (!on_dispatch_) on_dispatch_ = hook;
  }
}

}  // namespace vesk::platform::sim
