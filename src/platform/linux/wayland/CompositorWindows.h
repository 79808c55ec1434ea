#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IWindows.h"
#include "platform/linux/wayland/ICompositor.h"

namespace vesk::platform::linux_backend {

// The window calls of one session answered from a compositor's views (any
// ICompositor). The views are listed once, at the first need; a handle is a
// view's position in that list plus 1, so walks of the session step through
// the same list. An owned view's parent is not known by handle: its own
// handle stands for it (GetParent only has to be nonzero). When the
// compositor cannot be asked for its views, the session has no windows and
// Route() says why; so it does when a close request fails and the
// compositor then cannot be asked again (a refused request of a live
// compositor, such as for a view gone meanwhile, only returns false).
class CompositorWindows {
 public:
  explicit CompositorWindows(std::unique_ptr<ICompositor> compositor);

  WindowHandle FindWindowA();
  WindowHandle GetWindow(WindowHandle window, int command);
  WindowHandle GetParent(WindowHandle window);
  std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id);
  bool IsWindowVisible(WindowHandle window);
  WindowRoute Route() const;
  bool PostMessageA(WindowHandle window, std::uint32_t message);

 private:
  // The listed views (empty when listing failed).
  const std::vector<CompositorView>& Views();
  // The view of `window`, null for a handle outside the list.
  const CompositorView* ViewOf(WindowHandle window);

  std::unique_ptr<ICompositor> compositor_;
  std::optional<std::vector<CompositorView>> views_;
  std::optional<std::string> problem_;  // why the compositor could not be asked
};

}  // namespace vesk::platform::linux_backend
