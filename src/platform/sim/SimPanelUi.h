#pragma once

#include <string>
#include <vector>

#include "platform/headless/HeadlessPanelUi.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

class SimPanelUiFactory;

// A headless panel that records SetText and GetText as {panel id, control,
// text} and fails the SetText its factory was told to fail.
class SimPanelUi : public headless::HeadlessPanelUi {
 public:
  SimPanelUi(std::string id, const PanelLayout& layout, ClickHandler on_click,
             std::vector<headless::HeadlessPanelUi*>& live, SimPanelUiFactory& factory, SimLog& log);
  void SetText(const std::string& control, const std::string& text) override;
  std::string GetText(const std::string& control) const override;
  const std::string& id() const { return id_; }

 private:
  std::string id_;
  SimPanelUiFactory& factory_;
  SimLog& log_;
};

}  // namespace vesk::platform::sim
