#pragma once

#include "platform/IMessageBox.h"

namespace vesk::platform::win32 {

// Modal message boxes with MessageBoxW, owned by the calling thread's active
// window (if any), so the host's window waits while the box is open.
class Win32MessageBox : public IMessageBox {
 public:
  void ShowMessageBox(const std::string& text, int style, const std::string& caption) override;
};

}  // namespace vesk::platform::win32
