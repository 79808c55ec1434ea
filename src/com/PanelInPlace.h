#pragma once

#include <windows.h>
#include <oleidl.h>

#include "com/ComPtr.h"

namespace vesk::com {

// The in-place life of a panel window inside a container: the site and
// frame it negotiates, re-parenting the panel into the container's window on
// activation and back to a hidden top-level window on deactivation, so that
// the panel's boxes survive the container's window.
class PanelInPlace {
 public:
  explicit PanelInPlace(HWND panel) noexcept : panel_(panel) {}
  ~PanelInPlace();
  PanelInPlace(const PanelInPlace&) = delete;
  PanelInPlace& operator=(const PanelInPlace&) = delete;

  // Activates in place through `client` (and, with `ui`, UI-activates and
  // takes the focus); `self` becomes the frame's active object.
  HRESULT Activate(IOleClientSite* client, HWND parent_hint, bool ui, IOleInPlaceActiveObject* self) noexcept;
  // Leaves UI activation; the panel stays shown.
  HRESULT UIDeactivate() noexcept;
  // Hides the panel, takes it out of the container and tells the site.
  HRESULT Deactivate() noexcept;
  // Moves the panel within the container's window (its children stay put).
  HRESULT Move(const RECT& position) noexcept;

  bool active() const noexcept { return static_cast<bool>(site_); }

 private:
  HWND panel_;
  ComPtr<IOleInPlaceSite> site_;
  ComPtr<IOleInPlaceFrame> frame_;
  ComPtr<IOleInPlaceUIWindow> document_;
  bool ui_active_ = false;
};

}  // namespace vesk::com
