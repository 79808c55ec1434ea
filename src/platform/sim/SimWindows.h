#pragma once

#include "platform/IWindows.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// A simulated desktop of top-level windows.
class SimWindows : public IWindows {
 public:
  explicit SimWindows(SimLog& log) : log_(log) {}
  WindowHandle CreateHiddenWindow() override;
  // Hidden windows created so far.
  int hidden_windows_created() const { return hidden_created_; }

 private:
  SimLog& log_;
  int hidden_created_ = 0;
  WindowHandle next_handle_ = 0x1000;
};

}  // namespace vesk::platform::sim
