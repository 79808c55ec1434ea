#include "platform/sim/SimPlatform.h"

namespace vesk::platform::sim {

SimPlatform::SimPlatform() {
  platform_.shell = &shell;
  platform_.message_box = &message_box;
  platform_.windows = &windows;
  platform_.ui = &ui;
  platform_.processes = &processes;
  platform_.message_pump = &message_pump;
  platform_.serial = NextPlatformSerial();
}

}  // namespace vesk::platform::sim
