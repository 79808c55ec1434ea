#pragma once

#include <string>
#include <vector>

#include "platform/linux/wayland/CompositorView.h"

namespace vesk::platform::linux_backend {

// A Wayland compositor's own way to list its windows and ask one to close,
// held for one window session (one connection, one deadline for all replies).
class ICompositor {
 public:
  virtual ~ICompositor() = default;
  // The route for messages, e.g. "sway IPC at /run/user/1000/sway-ipc.sock".
  virtual std::string Name() const = 0;
  // Every view in the compositor's order; false when it could not be asked (problem() says why).
  virtual bool ListViews(std::vector<CompositorView>& views) = 0;
  // Asks the compositor to close `view` politely; false when it could not be asked or refused.
  virtual bool RequestClose(const CompositorView& view) = 0;
  // Why the last failed call failed (e.g. "did not answer within 5 s").
  virtual const std::string& problem() const = 0;
};

}  // namespace vesk::platform::linux_backend
