#include "platform/headless/HeadlessPanelUi.h"

#include <algorithm>
#include <utility>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk::platform::headless {
namespace {
const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kLabel:
      return "label";
    case ControlKind::kTextBox:
      return "text box";
    case ControlKind::kCommandButton:
      return "command button";
    case ControlKind::kCommonDialog:
      return "common dialog";
  }
  return "control";
}
}  // namespace

HeadlessPanelUi::HeadlessPanelUi(const PanelLayout& layout, ClickHandler on_click,
                                 std::vector<HeadlessPanelUi*>& live)
    : layout_(layout), on_click_(std::move(on_click)), live_(live) {
  for (const ControlSpec& control : layout_.controls) {
    if (control.kind == ControlKind::kTextBox) texts_[control.name] = control.caption;
  }
  live_.push_back(this);
}

HeadlessPanelUi::~HeadlessPanelUi() { live_.erase(std::remove(live_.begin(), live_.end(), this), live_.end()); }

void HeadlessPanelUi::SetText(const std::string& control, const std::string& text) {
  Find(control, ControlKind::kTextBox);
  texts_[control] = text;
}

std::string HeadlessPanelUi::GetText(const std::string& control) const {
  Find(control, ControlKind::kTextBox);
  return texts_.at(control);
}

void HeadlessPanelUi::Click(const std::string& control) {
  Find(control, ControlKind::kCommandButton);
  if (!on_click_) return;
  // The click may end with this panel destroyed, so it runs from a copy.
  const ClickHandler handler = on_click_;
  handler(control);
}

const ControlSpec& HeadlessPanelUi::Find(const std::string& name, ControlKind kind) const {
  for (const ControlSpec& control : layout_.controls) {
    if (control.kind == kind && name == control.name) return control;
  }
  throw Failure(errors::kInvalidArgument, "PanelUi",
                std::string("The panel has no ") + KindName(kind) + " named \"" + name + "\"");
}

}  // namespace vesk::platform::headless
