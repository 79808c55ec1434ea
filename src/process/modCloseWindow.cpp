#include "process/modCloseWindow.h"

#include <cstdint>
#include <limits>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/IWindows.h"
#include "platform/Platform.h"
#include "platform/WindowSession.h"

namespace vesk {

void modCloseWindow::CloseWindows(const WindowList& windows) {
  // The highest index as a signed 16-bit integer; -1 for an empty list.
  const std::int64_t highest_index = static_cast<std::int64_t>(windows.size()) - 1;
  if (highest_index > std::numeric_limits<std::int16_t>::max()) {
    throw Failure(errors::kOverflow, "modCloseWindow", "Overflow: more than 32768 windows");
  }
  const auto last = static_cast<std::int16_t>(highest_index);
  const platform::WindowSession session(*platform::Current().windows);
  for (std::int32_t index = 0; index <= last; ++index) {
    CloseSingleWindow(windows[static_cast<std::size_t>(index)]);
  }
}

void modCloseWindow::CloseSingleWindow(platform::WindowHandle window) {
  if (window <= 0) return;
  platform::Current().windows->PostMessageA(window, platform::kMessageClose, 0, 0);
}

}  // namespace vesk
