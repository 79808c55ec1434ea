#include "com/PanelControl.h"

#include <algorithm>
#include <new>
#include <vector>

#include "com/ComEnumerator.h"
#include "com/ComError.h"
#include "com/ComIds.h"
#include "com/ComModule.h"
#include "com/TypeLibrary.h"
#include "platform/win32/HwndConversion.h"
#include "settings/ctlEndProgram.h"
#include "settings/ctlStartProgram.h"

namespace vesk::com {
namespace {

template <class Panel>
std::unique_ptr<SettingsPanel> MakePanel() {
  return std::make_unique<Panel>();
}

const PanelClass kStartProgram{"ctlStartProgram",        &kCLSID_ctlStartProgram,   &kIID_ctlStartProgramDefault,
                               &kDIID_ctlStartProgramEvents, &ctlStartProgram::Layout, &MakePanel<ctlStartProgram>};
const PanelClass kEndProgram{"ctlEndProgram",        &kCLSID_ctlEndProgram,   &kIID_ctlEndProgramDefault,
                             &kDIID_ctlEndProgramEvents, &ctlEndProgram::Layout, &MakePanel<ctlEndProgram>};

LONG TwipsToHimetric(int twips) { return MulDiv(twips, 2540, 1440); }

// The shift keys held now, as a container's IOleControlSite expects them.
DWORD KeyModifiers() {
  DWORD modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= PanelControl::kKeyModShift;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= PanelControl::kKeyModControl;
  if (GetKeyState(VK_MENU) < 0) modifiers |= PanelControl::kKeyModAlt;
  return modifiers;
}

// The panel's child that holds `window` (itself, a child's child), or null.
HWND PanelChildOf(HWND panel, HWND window) {
  while (window != nullptr && GetParent(window) != panel) window = GetParent(window);
  return window;
}

// The tab stop after (or, `backwards`, before) the one holding `from`, in
// the panel's tab order; null when `from` is the last (first) stop. From
// the panel itself, or a child that is no stop, the first (last) stop.
HWND NextTabStop(HWND panel, HWND from, bool backwards) {
  std::vector<HWND> stops;
  for (HWND child = ::GetWindow(panel, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) stops.push_back(child);
  }
  if (stops.empty()) return nullptr;
  if (backwards) std::reverse(stops.begin(), stops.end());
  const auto at = std::find(stops.begin(), stops.end(), PanelChildOf(panel, from));
  if (at == stops.end()) return stops.front();
  return at + 1 == stops.end() ? nullptr : *(at + 1);
}

}  // namespace

HRESULT PanelControl::CreateStartProgram(REFIID iid, void** out) noexcept { return Create(kStartProgram, iid, out); }
HRESULT PanelControl::CreateEndProgram(REFIID iid, void** out) noexcept { return Create(kEndProgram, iid, out); }

HRESULT PanelControl::Create(const PanelClass& kind, REFIID iid, void** out) noexcept {
  PanelControl* object = nullptr;
  try {
    object = new PanelControl(kind, kind.create());
  } catch (...) {
    return ComError::FromCurrentException(kIID_IPlugIn);
  }
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

PanelControl::PanelControl(const PanelClass& kind, std::unique_ptr<SettingsPanel> panel)
    : PlugInServer(kind.name),
      kind_(kind),
      panel_(std::move(panel)),
      in_place_(platform::win32::HwndConversion::ToHwnd(panel_->Window())),
      events_(*this, *kind.events_iid) {
  extent_ = {TwipsToHimetric(kind.layout().width), TwipsToHimetric(kind.layout().height)};
  // A container may release the control while its Browse dialog is open:
  // the control then lives until the click ends, and goes with it.
  panel_->SetClickScope([this](const std::function<void()>& click) {
    AddRef();
    click();
    Release();
  });
  ComModule::ObjectCreated();
}

PanelControl::~PanelControl() {
  in_place_.Deactivate();
  ComModule::ObjectDestroyed();
}

HWND PanelControl::PanelWindow() const noexcept { return platform::win32::HwndConversion::ToHwnd(panel_->Window()); }

HRESULT PanelControl::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  void* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, *kind_.default_iid)) {
    found = static_cast<PanelDefault*>(this);
  } else if (IsEqualIID(iid, kIID_IPlugIn)) {
    found = static_cast<IPlugInCom*>(this);
  } else if (IsEqualIID(iid, IID_IOleObject)) {
    found = static_cast<IOleObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
    found = static_cast<IOleInPlaceObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
    found = static_cast<IOleInPlaceActiveObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleControl)) {
    found = static_cast<IOleControl*>(this);
  } else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2)) {
    found = static_cast<IViewObject2*>(this);
  } else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit)) {
    found = static_cast<IPersistStreamInit*>(this);
  } else if (IsEqualIID(iid, IID_IPersistPropertyBag)) {
    found = static_cast<IPersistPropertyBag*>(this);
  } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
    found = static_cast<IConnectionPointContainer*>(this);
  } else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2)) {
    found = static_cast<IProvideClassInfo2*>(this);
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    found = static_cast<ISupportErrorInfo*>(this);
  }
  *out = found;
  if (found == nullptr) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG PanelControl::AddRef() { return ++references_; }

ULONG PanelControl::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

// --- Class information and connection points

HRESULT PanelControl::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ComPtr<ITypeLib> library;
  const HRESULT hr = TypeLibrary::Load(library.put());
  return FAILED(hr) ? hr : library->GetTypeInfoOfGuid(*kind_.clsid, info);
}

HRESULT PanelControl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = *kind_.events_iid;
  return S_OK;
}

HRESULT PanelControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  IConnectionPoint* const only = &events_;
  return ConnectionPointEnumerator::Create(std::span(&only, 1), points);
}

HRESULT PanelControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  if (!IsEqualIID(iid, *kind_.events_iid)) {
    *point = nullptr;
    return CONNECT_E_NOCONNECTION;
  }
  events_.AddRef();
  *point = &events_;
  return S_OK;
}

// --- Persistence: the panel keeps nothing through its container

HRESULT PanelControl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = *kind_.clsid;
  return S_OK;
}
HRESULT PanelControl::IsDirty() { return S_FALSE; }
HRESULT PanelControl::Load(LPSTREAM) { return S_OK; }
HRESULT PanelControl::Save(LPSTREAM, BOOL) { return S_OK; }
HRESULT PanelControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}
HRESULT PanelControl::InitNew() { return S_OK; }
HRESULT PanelControl::Load(IPropertyBag*, IErrorLog*) { return S_OK; }
HRESULT PanelControl::Save(IPropertyBag*, BOOL, BOOL) { return S_OK; }

// --- IOleControl

HRESULT PanelControl::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
HRESULT PanelControl::OnMnemonic(MSG*) { return S_OK; }
HRESULT PanelControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
HRESULT PanelControl::FreezeEvents(BOOL) { return S_OK; }

// --- IOleObject

HRESULT PanelControl::SetClientSite(IOleClientSite* site) {
  if (site == nullptr) in_place_.Deactivate();
  if (site != nullptr) site->AddRef();
  client_site_.reset(site);
  return S_OK;
}

HRESULT PanelControl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = client_site_.get();
  if (*site != nullptr) (*site)->AddRef();
  return S_OK;
}

HRESULT PanelControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT PanelControl::Close(DWORD) {
  in_place_.Deactivate();
  events_.Clear();
  if (advise_holder_) advise_holder_->SendOnClose();
  return S_OK;
}

HRESULT PanelControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
HRESULT PanelControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT PanelControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
HRESULT PanelControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT PanelControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
  IOleClientSite* const active = site != nullptr ? site : client_site_.get();
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE: {
      const HRESULT hr = in_place_.Activate(active, parent, true, this);
      if (SUCCEEDED(hr) && position != nullptr) in_place_.Move(*position);
      return hr;
    }
    case OLEIVERB_INPLACEACTIVATE: {
      const HRESULT hr = in_place_.Activate(active, parent, false, this);
      if (SUCCEEDED(hr) && position != nullptr) in_place_.Move(*position);
      return hr;
    }
    case OLEIVERB_HIDE:
      return in_place_.Deactivate();
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
      return E_NOTIMPL;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

HRESULT PanelControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs == nullptr) return E_POINTER;
  *verbs = nullptr;
  return OLE_S_USEREG;
}

HRESULT PanelControl::Update() { return S_OK; }
HRESULT PanelControl::IsUpToDate() { return S_OK; }

HRESULT PanelControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

HRESULT PanelControl::GetUserType(DWORD, LPOLESTR* type) {
  if (type == nullptr) return E_POINTER;
  *type = nullptr;
  return OLE_S_USEREG;
}

HRESULT PanelControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  extent_ = *size;
  return S_OK;
}

HRESULT PanelControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = extent_;
  return S_OK;
}

HRESULT PanelControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (connection == nullptr) return E_POINTER;
  *connection = 0;
  if (!advise_holder_) {
    const HRESULT hr = CreateOleAdviseHolder(advise_holder_.put());
    if (FAILED(hr)) return hr;
  }
  return advise_holder_->Advise(sink, connection);
}

HRESULT PanelControl::Unadvise(DWORD connection) {
  return advise_holder_ ? advise_holder_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT PanelControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  return advise_holder_ ? advise_holder_->EnumAdvise(advise) : S_OK;
}

HRESULT PanelControl::GetMiscStatus(DWORD, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = kMiscStatus;
  return S_OK;
}

HRESULT PanelControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// --- In-place activation

HRESULT PanelControl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = PanelWindow();
  return *window != nullptr ? S_OK : E_FAIL;
}

HRESULT PanelControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
HRESULT PanelControl::InPlaceDeactivate() { return in_place_.Deactivate(); }
HRESULT PanelControl::UIDeactivate() { return in_place_.UIDeactivate(); }

HRESULT PanelControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  return in_place_.Move(*position);
}

HRESULT PanelControl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT PanelControl::TranslateAccelerator(LPMSG msg) {
  if (msg == nullptr) return E_POINTER;
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return S_FALSE;
  const HWND panel = PanelWindow();
  if (msg->hwnd != panel && !IsChild(panel, msg->hwnd)) return S_FALSE;
  const DWORD modifiers = KeyModifiers();
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB && (modifiers & ~kKeyModShift) == 0) {
    // Tab and Shift+Tab step through the panel's own stops; past the last
    // or first one the key belongs to the container, which moves on.
    if (const HWND next = NextTabStop(panel, msg->hwnd, modifiers == kKeyModShift)) {
      SetFocus(next);
      if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
      return S_OK;
    }
  }
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN && modifiers == 0 && msg->hwnd != panel &&
      (SendMessageW(msg->hwnd, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
    // Enter on a focused push button clicks that button, as in a dialog,
    // before the container's default button can take it. The click is
    // posted: what it opens (a modal file dialog) runs from the container's
    // loop, not inside this call.
    PostMessageW(msg->hwnd, BM_CLICK, 0, 0);
    return S_OK;
  }
  // Everything else, Enter in a text box and Esc included, is the
  // container's to see first (its default and cancel buttons, its
  // accelerators); what it leaves goes to the focused control through the
  // container's own loop.
  ComPtr<IOleControlSite> site;
  if (!client_site_ ||
      FAILED(client_site_->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(site.put())))) {
    return S_FALSE;
  }
  return site->TranslateAccelerator(msg, modifiers) == S_OK ? S_OK : S_FALSE;
}

HRESULT PanelControl::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT PanelControl::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT PanelControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT PanelControl::EnableModeless(BOOL) { return S_OK; }

// --- IViewObject2

HRESULT PanelControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw, LPCRECTL bounds, LPCRECTL,
                           BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (draw == nullptr || bounds == nullptr) return E_INVALIDARG;
  const RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
  FillRect(draw, &area, GetSysColorBrush(COLOR_BTNFACE));
  // Each control paints itself at its place in the panel, clipped to the bounds.
  const HWND panel = PanelWindow();
  for (HWND child = ::GetWindow(panel, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&place), 2);
    const int saved = SaveDC(draw);
    IntersectClipRect(draw, area.left, area.top, area.right, area.bottom);
    POINT origin{};
    GetViewportOrgEx(draw, &origin);
    SetViewportOrgEx(draw, origin.x + area.left + place.left, origin.y + area.top + place.top, nullptr);
    SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(draw), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
    RestoreDC(draw, saved);
  }
  return S_OK;
}

HRESULT PanelControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors == nullptr) return E_POINTER;
  *colors = nullptr;
  return S_FALSE;
}

HRESULT PanelControl::Freeze(DWORD, LONG, void*, DWORD* freeze) {
  if (freeze != nullptr) *freeze = 0;
  return E_NOTIMPL;
}

HRESULT PanelControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT PanelControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  if (sink != nullptr) sink->AddRef();
  view_sink_.reset(sink);
  view_aspects_ = aspects;
  view_flags_ = flags;
  return S_OK;
}

HRESULT PanelControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = view_aspects_;
  if (flags != nullptr) *flags = view_flags_;
  if (sink != nullptr) {
    *sink = view_sink_.get();
    if (*sink != nullptr) (*sink)->AddRef();
  }
  return S_OK;
}

HRESULT PanelControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

}  // namespace vesk::com
