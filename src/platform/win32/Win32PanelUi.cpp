#include "platform/win32/Win32PanelUi.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/HwndConversion.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Error.h"

namespace vesk::platform::win32 {
namespace {

constexpr const wchar_t* kClassName = L"VeskProgramManagerPanel";
constexpr int kFirstControlId = 100;  // a child's id is this plus its row in the layout

// Panels alive in this process. The class is registered while there is one,
// so that it never outlives the module its procedure lives in.
std::mutex g_class_mutex;
int g_live_panels = 0;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

[[noreturn]] void Refused(const std::string& what) {
  const DWORD error = GetLastError();
  throw Failure(errors::kAccessRefused, "PanelUi", what + ": " + Win32Error::Text(error));
}

// The screen's dots per inch, across and down.
struct ScreenDpi {
  int x = 96;
  int y = 96;
  ScreenDpi() {
    if (HDC dc = GetDC(nullptr)) {
      x = GetDeviceCaps(dc, LOGPIXELSX);
      y = GetDeviceCaps(dc, LOGPIXELSY);
      ReleaseDC(nullptr, dc);
    }
  }
};

const wchar_t* ChildClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::kLabel: return L"STATIC";
    case ControlKind::kTextBox: return L"EDIT";
    case ControlKind::kCommandButton: return L"BUTTON";
    case ControlKind::kCommonDialog: break;
  }
  return nullptr;
}

DWORD ChildStyle(ControlKind kind) {
  const DWORD common = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case ControlKind::kLabel: return common | SS_LEFT;
    case ControlKind::kTextBox: return common | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_LEFT;
    case ControlKind::kCommandButton: return common | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::kCommonDialog: break;
  }
  return 0;
}

void ReleaseClass() noexcept {
  const std::lock_guard<std::mutex> lock(g_class_mutex);
  if (--g_live_panels == 0) UnregisterClassW(kClassName, ThisModule());
}

}  // namespace

Win32PanelUi::Win32PanelUi(const PanelLayout& layout, ClickHandler on_click)
    : layout_(layout), on_click_(std::move(on_click)) {
  std::unique_lock<std::mutex> lock(g_class_mutex);
  if (g_live_panels == 0) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &WindowProc;
    window_class.hInstance = ThisModule();
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = kClassName;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      Refused("Cannot register the panel's window class");
    }
  }
  ++g_live_panels;
  lock.unlock();
  try {
    const ScreenDpi dpi;
    // WS_EX_CONTROLPARENT lets a container's dialog navigation step into the panel.
    const HWND hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                                      TwipsToPixels(layout_.width, dpi.x), TwipsToPixels(layout_.height, dpi.y),
                                      nullptr, nullptr, ThisModule(), this);
    if (hwnd == nullptr) Refused("Cannot create the panel window");
    window_.reset(hwnd);
    CreateChildren();
  } catch (...) {
    window_.reset();
    ReleaseClass();
    throw;
  }
}

Win32PanelUi::~Win32PanelUi() {
  window_.reset();
  ReleaseClass();
}

int Win32PanelUi::TwipsToPixels(int twips, int dpi) noexcept { return MulDiv(twips, dpi, 1440); }

void Win32PanelUi::CreateChildren() {
  // Creation order is the tab order.
  std::vector<std::size_t> rows;
  for (std::size_t row = 0; row < layout_.controls.size(); ++row) {
    if (layout_.controls[row].kind != ControlKind::kCommonDialog) rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
    return layout_.controls[a].tab_index < layout_.controls[b].tab_index;
  });
  const ScreenDpi dpi;
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  for (const std::size_t row : rows) {
    const ControlSpec& spec = layout_.controls[row];
    const std::wstring caption = Utf16::FromUtf8(spec.caption);
    const HWND child = CreateWindowExW(
        0, ChildClass(spec.kind), caption.c_str(),
        ChildStyle(spec.kind), TwipsToPixels(spec.left, dpi.x), TwipsToPixels(spec.top, dpi.y),
        TwipsToPixels(spec.width, dpi.x), TwipsToPixels(spec.height, dpi.y), window_.get(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + static_cast<int>(row))), ThisModule(),
        nullptr);
    if (child == nullptr) Refused(std::string("Cannot create the control ") + spec.name);
    SendMessageW(child, WM_SETFONT, font, FALSE);
    if (spec.kind == ControlKind::kTextBox) {
      // No limit of its own: 0 lifts the system's default of 30,000 characters.
      SendMessageW(child, EM_SETLIMITTEXT, 0, 0);
      text_boxes_[spec.name] = child;
    }
  }
}

HWND Win32PanelUi::TextBox(const std::string& control) const {
  const auto found = text_boxes_.find(control);
  if (found == text_boxes_.end()) {
    throw Failure(errors::kInvalidArgument, "PanelUi", "The panel has no text box " + control);
  }
  if (!IsWindow(found->second)) throw Failure(errors::kAccessRefused, "PanelUi", "The panel's window is gone");
  return found->second;
}

void Win32PanelUi::SetText(const std::string& control, const std::string& text) {
  const HWND box = TextBox(control);
  const std::wstring wide = Utf16::FromUtf8(text);
  if (!SetWindowTextW(box, wide.c_str())) Refused("Cannot set the text of " + control);
}

std::string Win32PanelUi::GetText(const std::string& control) const {
  const HWND box = TextBox(control);
  const int length = GetWindowTextLengthW(box);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  const int copied = GetWindowTextW(box, wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return Utf16::ToUtf8(wide);
}

WindowHandle Win32PanelUi::Window() const { return HwndConversion::FromHwnd(window_.get()); }

void Win32PanelUi::OnCommand(WPARAM wparam) {
  if (HIWORD(wparam) != BN_CLICKED) return;
  const int row = LOWORD(wparam) - kFirstControlId;
  if (row < 0 || static_cast<std::size_t>(row) >= layout_.controls.size()) return;
  const ControlSpec& spec = layout_.controls[static_cast<std::size_t>(row)];
  if (spec.kind != ControlKind::kCommandButton || !on_click_) return;
  // The click may end with this panel destroyed (its owner released while a
  // dialog was open), so it runs from a copy and nothing of `this` is
  // touched after it; `spec` lives in the layout table, which outlives panels.
  const ClickHandler handler = on_click_;
  handler(spec.name);
}

LRESULT CALLBACK Win32PanelUi::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32PanelUi*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr && message == WM_COMMAND && lparam != 0) {
    // A click has nobody to report a failure to; nothing may cross the
    // window procedure.
    try {
      self->OnCommand(wparam);
    } catch (...) {
    }
    return 0;
  }
  if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace vesk::platform::win32
