#pragma once

#include <memory>

#include "platform/IFileOpenDialog.h"
#include "platform/IPanelUi.h"
#include "platform/PanelLayout.h"

namespace vesk::platform {

// Creates panel surfaces and file-open dialogs. The factory outlives
// everything it creates.
class IPanelUiFactory {
 public:
  virtual ~IPanelUiFactory() = default;
  // A panel with the controls of `layout` (which must outlive the panel);
  // clicks of its buttons go to `on_click` on the calling thread.
  virtual std::unique_ptr<IPanelUi> CreatePanel(const PanelLayout& layout, ClickHandler on_click) = 0;
  // A new file-open dialog object with the dialog's defaults.
  virtual std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() = 0;
};

}  // namespace vesk::platform
