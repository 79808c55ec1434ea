#include "platform/Platform.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/Win32MessagePump.h"
#include "platform/win32/Win32PanelUiFactory.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32Windows.h"

namespace vesk::platform {

Platform& RealPlatform() {
  static win32::Win32Shell shell;
  static win32::Win32MessageBox message_box;
  static win32::Win32Windows windows;
  static win32::Win32PanelUiFactory ui;
  static win32::Win32Processes processes;
  static win32::Win32MessagePump message_pump;
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
