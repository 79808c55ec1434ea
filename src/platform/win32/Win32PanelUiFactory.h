#pragma once

#include "platform/IPanelUiFactory.h"

namespace vesk::platform::win32 {

// Panels as real windows (Win32PanelUi) and the system's file-open dialog.
class Win32PanelUiFactory : public IPanelUiFactory {
 public:
  std::unique_ptr<IPanelUi> CreatePanel(const PanelLayout& layout, ClickHandler on_click) override;
  std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() override;
};

}  // namespace vesk::platform::win32
