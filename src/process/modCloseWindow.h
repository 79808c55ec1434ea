#pragma once

#include "platform/PlatformTypes.h"
#include "process/WindowList.h"

namespace vesk {

// Asks windows to close by queueing a close request to each; never waits,
// never checks, never ends a process by force.
class modCloseWindow {
 public:
  // Posts a close request to every entry above 0, in list order. A list of
  // more than 32768 entries is an overflow failure before anything is posted.
  static void CloseWindows(const WindowList& windows);

  // Posts a close request to `window` unless it is 0 or negative.
  static void CloseSingleWindow(platform::WindowHandle window);
};

}  // namespace vesk
