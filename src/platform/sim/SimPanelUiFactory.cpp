#include "platform/sim/SimPanelUiFactory.h"

#include <utility>

#include "platform/sim/SimFileOpenDialog.h"
#include "platform/sim/SimPanelUi.h"

namespace vesk::platform::sim {

std::unique_ptr<IPanelUi> SimPanelUiFactory::CreatePanel(const PanelLayout& layout, ClickHandler on_click) {
  const std::string id = "panel#" + std::to_string(++panels_created_);
  log_.Record("CreatePanel", {id, std::to_string(layout.controls.size())});
  return std::make_unique<SimPanelUi>(id, layout, std::move(on_click), live(), *this, log_);
}

std::unique_ptr<IFileOpenDialog> SimPanelUiFactory::CreateFileOpenDialog() {
  const std::string id = "cdg#" + std::to_string(++dialogs_created_);
  log_.Record("CreateFileOpenDialog", {id});
  return std::make_unique<SimFileOpenDialog>(id, script(), log_);
}

bool SimPanelUiFactory::SetTextFails() {
  if (set_texts_until_failure_ <= 0) return false;
  return --set_texts_until_failure_ == 0;
}

}  // namespace vesk::platform::sim
