#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "platform/IPanelUi.h"
#include "platform/PanelLayout.h"
#include "platform/win32/UniqueWindow.h"

namespace vesk::platform::win32 {

// A settings panel as a real window: a panel window holding the layout's
// labels (STATIC), text boxes (EDIT, of any length) and command buttons
// (BUTTON) at the table's positions and sizes converted from twips at the
// system's DPI, created in tab order, in the dialog font. The panel window
// starts as a hidden top-level pop-up, so that its boxes work before anybody
// shows it; a control container re-parents it into its own window (see
// Window()).
// Failures come from "PanelUi".
class Win32PanelUi : public IPanelUi {
 public:
  Win32PanelUi(const PanelLayout& layout, ClickHandler on_click);
  ~Win32PanelUi() override;
  Win32PanelUi(const Win32PanelUi&) = delete;
  Win32PanelUi& operator=(const Win32PanelUi&) = delete;

  void SetText(const std::string& control, const std::string& text) override;
  std::string GetText(const std::string& control) const override;
  WindowHandle Window() const override;

  // `twips` in pixels at `dpi` dots per inch, rounded to nearest.
  static int TwipsToPixels(int twips, int dpi) noexcept;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void CreateChildren();
  void OnCommand(WPARAM wparam);
  HWND TextBox(const std::string& control) const;

  const PanelLayout& layout_;
  ClickHandler on_click_;
  UniqueWindow window_;
  std::map<std::string, HWND> text_boxes_;  // children, destroyed with window_
};

}  // namespace vesk::platform::win32
