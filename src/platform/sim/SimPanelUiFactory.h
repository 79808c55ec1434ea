#pragma once

#include <memory>

#include "platform/headless/HeadlessPanelUiFactory.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// The headless panels and dialogs, recording every call in the log: panels
// are named "panel#N" and dialogs "cdg#N" in the order of creation (from 1).
// Clicks go through panels(), dialog answers through script(). One SetText
// can be made to fail, as a real text box may refuse a text.
class SimPanelUiFactory : public headless::HeadlessPanelUiFactory {
 public:
  explicit SimPanelUiFactory(SimLog& log) : log_(log) {}

  std::unique_ptr<IPanelUi> CreatePanel(const PanelLayout& layout, ClickHandler on_click) override;
  std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() override;

  // The `n`-th SetText from now (1 is the next one), on any panel, fails
  // with errors::kOutOfMemory from "SimPanelUi" and changes nothing.
  void FailSetText(int n) { set_texts_until_failure_ = n; }
  // Called by each SetText: true when this one is to fail.
  bool SetTextFails();

 private:
  SimLog& log_;
  int panels_created_ = 0;
  int dialogs_created_ = 0;
  int set_texts_until_failure_ = 0;  // 0: none fails
};

}  // namespace vesk::platform::sim
