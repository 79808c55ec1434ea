#include "platform/linux/PerThreadPanelUiFactory.h"

#include <utility>

#include "platform/headless/HeadlessPanelUiFactory.h"

namespace vesk::platform::linux_backend {
namespace {
// No dialog answers are scripted: every display cancels.
headless::HeadlessPanelUiFactory& ThreadFactory() {
  thread_local headless::HeadlessPanelUiFactory factory;
  return factory;
}
}  // namespace

std::unique_ptr<IPanelUi> PerThreadPanelUiFactory::CreatePanel(const PanelLayout& layout, ClickHandler on_click) {
  return ThreadFactory().CreatePanel(layout, std::move(on_click));
}

std::unique_ptr<IFileOpenDialog> PerThreadPanelUiFactory::CreateFileOpenDialog() {
  return ThreadFactory().CreateFileOpenDialog();
}

}  // namespace vesk::platform::linux_backend
