#include "platform/Platform.h"
#include "platform/headless/HeadlessPanelUiFactory.h"
#include "platform/linux/LinuxMessageBox.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LinuxWindows.h"

namespace vesk::platform {

Platform& RealPlatform() {
  static linux_backend::LinuxShell shell;
  static linux_backend::LinuxMessageBox message_box;
  static linux_backend::LinuxWindows windows;
  static headless::HeadlessPanelUiFactory ui;  // no dialog answers: every display cancels
  static Platform platform = [] {
    Platform p;
    p.shell = &shell;
    p.message_box = &message_box;
    p.windows = &windows;
    p.ui = &ui;
    p.serial = NextPlatformSerial();
    return p;
  }();
  return platform;
}

}  // namespace vesk::platform
