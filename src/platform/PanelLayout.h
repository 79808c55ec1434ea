#pragma once

#include <span>

namespace vesk::platform {

// The kinds of child control a settings panel is built from.
enum class ControlKind {
  kLabel,          // a caption; takes no focus
  kTextBox,        // a single-line text box without a length limit of its own
  kCommandButton,  // a push button whose click reaches the panel
  kCommonDialog,   // a file-open dialog; not visible, has no position
};

// One child control. Positions and sizes are in twips (1/1440 inch) from the
// panel's top left corner; a real backend converts them to pixels.
struct ControlSpec {
  const char* name;
  ControlKind kind;
  const char* caption;  // a label's or button's caption, a text box's initial text
  int left;
  int top;
  int width;
  int height;
  int tab_index;  // -1 for a control without one (the common dialog)
};

// A panel as data: its design size in twips and its child controls. Every
// backend builds exactly these controls; the panel has no layout logic.
struct PanelLayout {
  int width;
  int height;
  std::span<const ControlSpec> controls;
};

inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

}  // namespace vesk::platform
