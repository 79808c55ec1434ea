#include "platform/win32/Win32PanelUiFactory.h"

#include "platform/win32/Win32FileOpenDialog.h"
#include "platform/win32/Win32PanelUi.h"

namespace vesk::platform::win32 {

std::unique_ptr<IPanelUi> Win32PanelUiFactory::CreatePanel(const PanelLayout& layout, ClickHandler on_click) {
  return std::make_unique<Win32PanelUi>(layout, std::move(on_click));
}

std::unique_ptr<IFileOpenDialog> Win32PanelUiFactory::CreateFileOpenDialog() {
  return std::make_unique<Win32FileOpenDialog>();
}

}  // namespace vesk::platform::win32
