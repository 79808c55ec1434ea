#pragma once

#include "platform/IWindows.h"

namespace vesk::platform::linux_backend {

// Top-level windows on Linux.
class LinuxWindows : public IWindows {
 public:
  // Linux has no owner windows for started programs: the hidden owner is a
  // token handle, unique per call, that needs no display connection.
  WindowHandle CreateHiddenWindow() override;
};

}  // namespace vesk::platform::linux_backend
