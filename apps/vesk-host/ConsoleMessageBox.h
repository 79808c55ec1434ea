#pragma once

#include <string>

#include "platform/IMessageBox.h"

namespace vesk::host_app {

// The host's message boxes: written to standard error as "<caption>: <text>"
// and closed at once, so that scripts see them and never wait on a screen.
class ConsoleMessageBox : public platform::IMessageBox {
 public:
  void ShowMessageBox(const std::string& text, int style, const std::string& caption) override;
};

}  // namespace vesk::host_app
