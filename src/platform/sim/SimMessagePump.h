#pragma once

#include <functional>

#include "platform/IMessagePump.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// Records each dispatch; an optional hook runs inside it (to make nested
// requests, as a window message handled there would).
class SimMessagePump : public IMessagePump {
 public:
  explicit SimMessagePump(SimLog& log) : log_(log) {}
  void DispatchPendingMessages() override;
  void set_on_dispatch(std::function<void()> hook) { on_dispatch_ = std::move(hook); }

 private:
  SimLog& log_;
  std::function<void()> on_dispatch_;
};

}  // namespace vesk::platform::sim
