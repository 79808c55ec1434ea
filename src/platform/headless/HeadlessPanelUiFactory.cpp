#include "platform/headless/HeadlessPanelUiFactory.h"

#include <utility>

#include "platform/headless/HeadlessFileOpenDialog.h"

namespace vesk::platform::headless {

std::unique_ptr<IPanelUi> HeadlessPanelUiFactory::CreatePanel(const PanelLayout& layout, ClickHandler on_click) {
  return std::make_unique<HeadlessPanelUi>(layout, std::move(on_click), live_);
}

std::unique_ptr<IFileOpenDialog> HeadlessPanelUiFactory::CreateFileOpenDialog() {
  return std::make_unique<HeadlessFileOpenDialog>(script_);
}

}  // namespace vesk::platform::headless
