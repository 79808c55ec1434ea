#include "platform/sim/SimWindows.h"

namespace vesk::platform::sim {

WindowHandle SimWindows::CreateHiddenWindow() {
  const WindowHandle handle = next_handle_++;
  ++hidden_created_;
  log_.Record("CreateHiddenWindow", {std::to_string(handle)});
  return handle;
}

}  // namespace vesk::platform::sim
