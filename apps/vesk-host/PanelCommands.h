#pragma once

#include <string>

#include "platform/Platform.h"
#include "platform/headless/HeadlessPanelUiFactory.h"
#include "vesk-host/ConsoleMessageBox.h"

namespace vesk::host_app {

// The host's hand on the settings panels in batch mode. While it lives, the
// calling thread's platform is the real one with headless panels and message
// boxes on standard error; the panels' dialogs answer only what the batch
// input scripts:
//   @choose PATH       the next dialog confirms PATH (taken as written)
//   @cancel            the next dialog is cancelled
//   @fail              the next dialog cannot be displayed
//   @click NAME        clicks the button NAME of the newest panel
// A dialog with no scripted answer left is cancelled.
class PanelCommands {
 public:
  PanelCommands();
  PanelCommands(const PanelCommands&) = delete;
  PanelCommands& operator=(const PanelCommands&) = delete;

  // Runs one command line; an unknown command, or a click with no panel or
  // no such button, fails with errors::kInvalidArgument.
  void Run(const std::string& line);

 private:
  platform::headless::HeadlessPanelUiFactory ui_;
  ConsoleMessageBox message_box_;
  platform::Platform platform_;
  platform::ScopedPlatform scope_;
};

}  // namespace vesk::host_app
