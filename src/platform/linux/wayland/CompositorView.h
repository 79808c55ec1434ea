#pragma once

#include <cstdint>
#include <string>

namespace vesk::platform::linux_backend {

// One window of a Wayland compositor as its own IPC reports it (a sway
// container, a KWin window): native Wayland and Xwayland alike.
struct CompositorView {
  std::string id;              // the compositor's own id, used to ask it to close the view
  std::uint32_t process_id = 0;  // 0 when the compositor does not know it
  bool owned = false;          // a dialog of a parent view, where the compositor says so
  bool visible = true;         // on a workspace or desktop, minimised included; not in a scratchpad
  bool xwayland = false;       // an X window under Xwayland: asked through X11, never through the compositor
};

}  // namespace vesk::platform::linux_backend
