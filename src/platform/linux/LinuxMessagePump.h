#pragma once

#include <functional>

#include "platform/IMessagePump.h"

namespace vesk::platform::linux_backend {

// Linux has no thread message queue of the library's own: a dispatch calls
// the handler that the host installed (its own event loop, say), and does
// nothing by default.
class LinuxMessagePump : public IMessagePump {
 public:
  using Handler = std::function<void()>;
  void DispatchPendingMessages() override;
  // Replaces the handler for every thread; an empty handler restores the default.
  static void SetHandler(Handler handler);
};

}  // namespace vesk::platform::linux_backend
