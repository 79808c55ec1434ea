#pragma once

#include "settings/SettingsPanel.h"

namespace vesk {

// The settings panel of the start action: program, arguments and start-in
// folder, record positions 0 to 2, and a Browse button for the program.
class ctlStartProgram : public SettingsPanel {
 public:
  ctlStartProgram();
  // The panel's controls as data, for every UI backend.
  static const platform::PanelLayout& Layout();

 private:
  std::string ApplySettings(const std::string& params) override;
  std::string CollectSettings(const std::string& params) override;
};

}  // namespace vesk
