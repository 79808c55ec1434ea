#include "com/PanelInPlace.h"

namespace vesk::com {
namespace {

void BecomeChild(HWND panel, HWND parent) {
  const LONG_PTR style = GetWindowLongPtrW(panel, GWL_STYLE);
  SetWindowLongPtrW(panel, GWL_STYLE, (style & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD);
  SetParent(panel, parent);
}

void BecomeHidden(HWND panel) {
  ShowWindow(panel, SW_HIDE);
  SetParent(panel, nullptr);
  const LONG_PTR style = GetWindowLongPtrW(panel, GWL_STYLE);
  SetWindowLongPtrW(panel, GWL_STYLE, (style & ~static_cast<LONG_PTR>(WS_CHILD)) | WS_POPUP);
}

}  // namespace

PanelInPlace::~PanelInPlace() { Deactivate(); }

HRESULT PanelInPlace::Activate(IOleClientSite* client, HWND parent_hint, bool ui,
                               IOleInPlaceActiveObject* self) noexcept {
  if (!site_) {
    if (client == nullptr) return E_UNEXPECTED;
    ComPtr<IOleInPlaceSite> site;
    HRESULT hr = client->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(site.put()));
    if (FAILED(hr)) return hr;
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    hr = site->OnInPlaceActivate();
    if (FAILED(hr)) return hr;
    HWND parent = nullptr;
    if (FAILED(site->GetWindow(&parent)) || parent == nullptr) parent = parent_hint;
    RECT position{};
    RECT clip{};
    OLEINPLACEFRAMEINFO frame_info{};
    frame_info.cb = sizeof(frame_info);
    hr = site->GetWindowContext(frame_.put(), document_.put(), &position, &clip, &frame_info);
    if (FAILED(hr) || parent == nullptr) {
      site->OnInPlaceDeactivate();
      frame_.reset();
      document_.reset();
      return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    site_ = std::move(site);
    BecomeChild(panel_, parent);
    SetWindowPos(panel_, HWND_TOP, position.left, position.top, position.right - position.left,
                 position.bottom - position.top, SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  ShowWindow(panel_, SW_SHOWNA);
  if (ui && !ui_active_) {
    ui_active_ = true;
    site_->OnUIActivate();
    if (frame_) frame_->SetActiveObject(self, nullptr);
    if (document_) document_->SetActiveObject(self, nullptr);
    // The focus goes to the first stop of the tab order unless it is in the panel already.
    if (!IsChild(panel_, GetFocus())) {
      if (HWND first = GetNextDlgTabItem(panel_, nullptr, FALSE)) SetFocus(first);
    }
  }
  return S_OK;
}

HRESULT PanelInPlace::UIDeactivate() noexcept {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (document_) document_->SetActiveObject(nullptr, nullptr);
  if (site_) site_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT PanelInPlace::Deactivate() noexcept {
  if (!site_) return S_OK;
  UIDeactivate();
  BecomeHidden(panel_);
  ComPtr<IOleInPlaceSite> site = std::move(site_);
  frame_.reset();
  document_.reset();
  site->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT PanelInPlace::Move(const RECT& position) noexcept {
  if (!site_) return S_OK;
  SetWindowPos(panel_, nullptr, position.left, position.top, position.right - position.left,
               position.bottom - position.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
}

}  // namespace vesk::com
