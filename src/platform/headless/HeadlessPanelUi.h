#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/IPanelUi.h"
#include "platform/PanelLayout.h"

namespace vesk::platform::headless {

// A panel surface in memory: the text of each text box of the layout, and
// clicks made by calling Click(). It lists itself in `live` (its factory's
// list of panels) for its lifetime. Failures come from "PanelUi".
class HeadlessPanelUi : public IPanelUi {
 public:
  HeadlessPanelUi(const PanelLayout& layout, ClickHandler on_click, std::vector<HeadlessPanelUi*>& live);
  ~HeadlessPanelUi() override;
  HeadlessPanelUi(const HeadlessPanelUi&) = delete;
  HeadlessPanelUi& operator=(const HeadlessPanelUi&) = delete;

  void SetText(const std::string& control, const std::string& text) override;
  std::string GetText(const std::string& control) const override;

  // Clicks the command button `control` as a user would. Any other name
  // fails with errors::kInvalidArgument.
  void Click(const std::string& control);
  const PanelLayout& layout() const { return layout_; }

 private:
  // The control `name` of kind `kind`, or a failure naming what was wanted.
  const ControlSpec& Find(const std::string& name, ControlKind kind) const;

  const PanelLayout& layout_;
  ClickHandler on_click_;
  std::vector<HeadlessPanelUi*>& live_;
  std::map<std::string, std::string> texts_;  // by text box name
};

}  // namespace vesk::platform::headless
