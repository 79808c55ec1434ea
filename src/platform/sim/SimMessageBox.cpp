#include "platform/sim/SimMessageBox.h"

namespace vesk::platform::sim {

void SimMessageBox::ShowMessageBox(const std::string& text, int style, const std::string& caption) {
  log_.Record("ShowMessageBox", {text, std::to_string(style), caption});
  if (while_open_) while_open_();
}

}  // namespace vesk::platform::sim
