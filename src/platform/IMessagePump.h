#pragma once

namespace vesk::platform {

// The calling thread's window messages.
class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  // Dispatches every message waiting for the calling thread, then returns.
  // The host may call into the library again from inside.
  virtual void DispatchPendingMessages() = 0;
};

}  // namespace vesk::platform
