#include "platform/sim/SimPanelUi.h"

#include <utility>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/sim/SimPanelUiFactory.h"

namespace vesk::platform::sim {

SimPanelUi::SimPanelUi(std::string id, const PanelLayout& layout, ClickHandler on_click,
                       std::vector<headless::HeadlessPanelUi*>& live, SimPanelUiFactory& factory, SimLog& log)
    : HeadlessPanelUi(layout, std::move(on_click), live), id_(std::move(id)), factory_(factory), log_(log) {}

void SimPanelUi::SetText(const std::string& control, const std::string& text) {
  log_.Record("SetText", {id_, control, text});
  if (factory_.SetTextFails()) {
    throw Failure(errors::kOutOfMemory, "SimPanelUi", "Cannot set the text of " + control);
  }
  HeadlessPanelUi::SetText(control, text);
}

std::string SimPanelUi::GetText(const std::string& control) const {
  std::string text = HeadlessPanelUi::GetText(control);
  log_.Record("GetText", {id_, control, text});
  return text;
}

}  // namespace vesk::platform::sim
