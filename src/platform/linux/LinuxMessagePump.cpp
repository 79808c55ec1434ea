#include "platform/linux/LinuxMessagePump.h"

#include <memory>
#include <mutex>

namespace vesk::platform::linux_backend {
namespace {
std::mutex g_mutex;
std::shared_ptr<const LinuxMessagePump::Handler> g_handler;
}  // namespace

void LinuxMessagePump::DispatchPendingMessages() {
  std::shared_ptr<const Handler> handler;
  {
    const std::lock_guard lock(g_mutex);
    handler = g_handler;
  }
  // Called outside the lock: the handler may call into the library again.
  if (handler && *handler) (*handler)();
}

void LinuxMessagePump::SetHandler(Handler handler) {
  auto shared = handler ? std::make_shared<const Handler>(std::move(handler)) : nullptr;
  const std::lock_guard lock(g_mutex);
  g_handler = std::move(shared);
}

}  // namespace vesk::platform::linux_backend
