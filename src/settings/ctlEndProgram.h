#pragma once

#include "settings/SettingsPanel.h"

namespace vesk {

// The settings panel of the end action: the full path of the program's
// executable, record position 0, and a Browse button for it.
class ctlEndProgram : public SettingsPanel {
 public:
  ctlEndProgram();
  // The panel's controls as data, for every UI backend.
  static const platform::PanelLayout& Layout();

 private:
  std::string ApplySettings(const std::string& params) override;
  std::string CollectSettings(const std::string& params) override;
};

}  // namespace vesk
