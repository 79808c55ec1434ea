#pragma once

#include <functional>
#include <string>

#include "platform/IMessageBox.h"

namespace vesk::platform::linux_backend {

// Message boxes on Linux go to a handler the host installs; by default they
// are written to standard error as "VeskProgramManager: <text>".
class LinuxMessageBox : public IMessageBox {
 public:
  using Handler = std::function<void(const std::string& text, int style, const std::string& caption)>;
  void ShowMessageBox(const std::string& text, int style, const std::string& caption) override;
  // Replaces the handler for every thread; an empty handler restores the default.
  static void SetHandler(Handler handler);
};

}  // namespace vesk::platform::linux_backend
