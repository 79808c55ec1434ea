#pragma once

#include <functional>

#include "platform/IMessageBox.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// Records each message box; an optional hook runs while the box is "open"
// (to make nested requests from inside it).
class SimMessageBox : public IMessageBox {
 public:
  explicit SimMessageBox(SimLog& log) : log_(log) {}
  void ShowMessageBox(const std::string& text, int style, const std::string& caption) override;
  void set_while_open(std::function<void()> hook) { while_open_ = std::move(hook); }

 private:
  SimLog& log_;
  std::function<void()> while_open_;
};

}  // namespace vesk::platform::sim
