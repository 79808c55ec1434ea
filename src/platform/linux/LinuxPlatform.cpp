#include "platform/Platform.h"
#include "platform/linux/LinuxMessageBox.h"
#include "platform/linux/LinuxMessagePump.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LinuxWindows.h"
#include "platform/linux/PerThreadPanelUiFactory.h"

namespace vesk::platform {

Platform& RealPlatform() {
  static linux_backend::LinuxShell shell;
  static linux_backend::LinuxMessageBox message_box;
  static linux_backend::LinuxWindows windows;
  static linux_backend::PerThreadPanelUiFactory ui;  // each thread its own panels
  static linux_backend::LinuxProcesses processes;
  static linux_backend::LinuxMessagePump message_pump;
  static Platform platform{.shell = &shell,
                           .message_box = &message_box,
                           .windows = &windows,
                           .ui = &ui,
                           .processes = &processes,
                           .message_pump = &message_pump,
                           .serial = NextPlatformSerial()};
  return platform;
}

}  // namespace vesk::platform
