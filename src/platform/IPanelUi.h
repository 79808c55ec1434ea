#pragma once

#include <functional>
#include <string>

#include "platform/PlatformTypes.h"

namespace vesk::platform {

// Receives the click of a command button, by the button's name.
using ClickHandler = std::function<void(const std::string& control)>;

// The surface of one panel, built from a PanelLayout: its text boxes are
// reached by name. Setting a text may fail (a real control can refuse it);
// asking for a control that is not a text box of the layout fails with
// errors::kInvalidArgument.
class IPanelUi {
 public:
  virtual ~IPanelUi() = default;
  // Replaces the whole text of the text box `control`.
  virtual void SetText(const std::string& control, const std::string& text) = 0;
  // The whole text of the text box `control`.
  virtual std::string GetText(const std::string& control) const = 0;
  // The panel's own window, for a container that embeds it; 0 for a
  // backend without windows.
  virtual WindowHandle Window() const { return 0; }
};

}  // namespace vesk::platform
