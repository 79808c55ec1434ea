#pragma once

#include "platform/Platform.h"
#include "platform/sim/SimLog.h"
#include "platform/sim/SimMessageBox.h"
#include "platform/sim/SimPanelUiFactory.h"
#include "platform/sim/SimMessagePump.h"
#include "platform/sim/SimProcesses.h"
#include "platform/sim/SimShell.h"
#include "platform/sim/SimWindows.h"

namespace vesk::platform::sim {

// The simulated platform used by the tests: every service records its calls
// in one log. Install it on a thread with ScopedPlatform (see Installed()).
class SimPlatform {
 public:
  SimPlatform();
  SimPlatform(const SimPlatform&) = delete;
  SimPlatform& operator=(const SimPlatform&) = delete;

  Platform& platform() { return platform_; }
  SimLog log;
  SimShell shell{log};
  SimMessageBox message_box{log};
  SimWindows windows{log};
  SimPanelUiFactory ui{log};
  SimProcesses processes{log};
  SimMessagePump message_pump{log};

 private:
  Platform platform_;
};

// A simulated platform installed on the calling thread for this object's life.
class InstalledSimPlatform : public SimPlatform {
 public:
  InstalledSimPlatform() : scope_(platform()) {}

 private:
  ScopedPlatform scope_;
};

}  // namespace vesk::platform::sim
