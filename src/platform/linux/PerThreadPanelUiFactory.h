#pragma once

#include <memory>

#include "platform/IPanelUiFactory.h"

namespace vesk::platform::linux_backend {

// The real platform's panel UI, shared by every thread: it hands each call
// to a headless factory of the calling thread, so that each thread's panels
// and dialogs live in that thread's own list (objects stay in the thread that
// made them, as the apartment model has it).
class PerThreadPanelUiFactory : public IPanelUiFactory {
 public:
  std::unique_ptr<IPanelUi> CreatePanel(const PanelLayout& layout, ClickHandler on_click) override;
  std::unique_ptr<IFileOpenDialog> CreateFileOpenDialog() override;
};

}  // namespace vesk::platform::linux_backend
