#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IWindows.h"
#include "platform/linux/wayland/CompositorView.h"
#include "platform/linux/wayland/ICompositor.h"

namespace vesk::platform::linux_backend {

// The window calls of one session answered from a compositor's native
// Wayland views (any ICompositor). X windows under Xwayland are set aside:
// the compositor would kill an X client that takes no close request, so
// those are left to the X11 route, and has_x_windows() says whether there
// were any. The views are the listing that proved the route; a handle is kFirstHandle plus a view's position, so
// walks of the session step through the same list, and handles never meet X
// window ids (29 bits). An owned view's parent is not known by handle: its
// own handle stands for it (GetParent only has to be nonzero). When a close
// request fails and the compositor then cannot be asked again, the session
// has no more close requests and Route() says why (a refused request of a live
// compositor, such as for a view gone meanwhile, only returns false).
class CompositorWindows {
 public:
  static constexpr WindowHandle kFirstHandle = 0x40000001;
  static bool IsViewHandle(WindowHandle window) { return window >= kFirstHandle; }

  // `listed`: the views `compositor` listed when it was chosen.
  CompositorWindows(std::unique_ptr<ICompositor> compositor, std::vector<CompositorView> listed);

  WindowHandle FindWindowA();
  WindowHandle GetWindow(WindowHandle window, int command);
  WindowHandle GetParent(WindowHandle window);
  std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id);
  bool IsWindowVisible(WindowHandle window);
  WindowRoute Route() const;
  bool PostMessageA(WindowHandle window, std::uint32_t message);
  // Whether the listing held X windows (left to the X11 route).
  bool has_x_windows() const { return x_windows_; }

 private:
  // The view of `window`, null for a handle outside the list.
  const CompositorView* ViewOf(WindowHandle window);

  std::unique_ptr<ICompositor> compositor_;
  std::vector<CompositorView> views_;  // the native views
  bool x_windows_ = false;
  std::optional<std::string> problem_;  // why the compositor could not be asked
};

}  // namespace vesk::platform::linux_backend
