#pragma once

#include "platform/PlatformTypes.h"

namespace vesk::platform {

// Top-level windows of the desktop.
class IWindows {
 public:
  virtual ~IWindows() = default;
  // Creates a top-level window that is never shown and returns its handle.
  virtual WindowHandle CreateHiddenWindow() = 0;
};

}  // namespace vesk::platform
