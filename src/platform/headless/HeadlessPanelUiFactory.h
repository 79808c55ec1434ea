#pragma once

#include <memory>
#include <vector>

#include "platform/IPanelUiFactory.h"
#include "platform/headless/DialogScript.h"
#include "platform/headless/HeadlessPanelUi.h"

namespace vesk::platform::headless {

// Panels and dialogs without a screen, for Linux and the tests. The host
// drives them: it clicks buttons through panels() and answers dialogs
// through script(). Must outlive the panels and dialogs it creates.
class HeadlessPanelUiFactory : public IPanelUiFactory {
 public:
  HeadlessPanelUiFactory() = default;
  HeadlessPanelUiFactory(const HeadlessPanelUiFactory&) = delete;
  HeadlessPanelUiFactory& operator=(const HeadlessPanelUiFactory&) = delete;

  std::unique_ptr<IPanelUi> CreatePanel(const PanelLayout& layout, ClickHandler on_click) override;
  std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() override;

  // The answers of every dialog this factory created.
  DialogScript& script() { return script_; }
  // The panels alive now, oldest first.
  const std::vector<HeadlessPanelUi*>& panels() const { return live_; }

 protected:
  std::vector<HeadlessPanelUi*>& live() { return live_; }

 private:
  DialogScript script_;
  std::vector<HeadlessPanelUi*> live_;
};

}  // namespace vesk::platform::headless
