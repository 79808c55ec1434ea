#include "platform/win32/Win32PanelUi.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host/Failure.h"
#include "platform/win32/HwndConversion.h"
#include "platform/win32/Win32FileOpenDialog.h"

namespace vesk::platform::win32 {
namespace {

// Rows deliberately out of tab order, and a dialog row that makes no window.
constexpr ControlSpec kControls[] = {
    {"btnGo", ControlKind::kCommandButton, "Go", 3000, 0, 1440, 345, 2},
    {"cdg", ControlKind::kCommonDialog, "", 0, 0, 0, 0, -1},
    {"txtOne", ControlKind::kTextBox, "start", 1440, 30, 1500, 285, 0},
    {"lblOne", ControlKind::kLabel, "One:", 0, 30, 1335, 255, 1},
};
constexpr PanelLayout kLayout{4500, 1080, kControls};

// "number source" of the failure `body` raises, or "none".
std::string Raised(auto&& body) {
  try {
    body();
  } catch (const Failure& failure) {
    return std::to_string(failure.number()) + " " + failure.source();
  }
  return "none";
}

TEST(Win32PanelUi, ConvertsTwipsAtTheGivenDpiRoundingToNearest) {
  const struct {
    int twips, dpi, pixels;
  } rows[] = {{1440, 96, 96}, {15, 96, 1}, {345, 120, 29}, {7, 96, 0}, {8, 96, 1}, {9000, 144, 900}, {0, 96, 0}};
  for (const auto& row : rows) EXPECT_EQ(Win32PanelUi::TwipsToPixels(row.twips, row.dpi), row.pixels) << row.twips;
}

TEST(Win32PanelUi, BuildsHiddenPanelInTabOrderAndRoutesClicks) {
  std::vector<std::string> clicks;
  Win32PanelUi ui(kLayout, [&](const std::string& name) { clicks.push_back(name); });
  const HWND panel = HwndConversion::ToHwnd(ui.Window());
  ASSERT_TRUE(IsWindow(panel));
  EXPECT_FALSE(IsWindowVisible(panel));
  std::vector<std::wstring> texts;
  HWND button = nullptr;
  for (HWND child = GetWindow(panel, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t text[32] = {};
    GetWindowTextW(child, text, 32);
    texts.emplace_back(text);
    if (std::wstring(text) == L"Go") button = child;
  }
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"start", L"One:", L"Go"}));
  ASSERT_NE(button, nullptr);
  SendMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, (std::vector<std::string>{"btnGo"}));

  EXPECT_EQ(ui.GetText("txtOne"), "start");
  ui.SetText("txtOne", " \xC3\xA9\xE6\x97\xA5 ");  // " é日 "
  EXPECT_EQ(ui.GetText("txtOne"), " \xC3\xA9\xE6\x97\xA5 ");
  ui.SetText("txtOne", "");
  EXPECT_EQ(ui.GetText("txtOne"), "");
  // Only text boxes of the layout have texts; bad UTF-8 is refused.
  for (const char* name : {"lblOne", "btnGo", "cdg", "txtMissing"}) {
    EXPECT_EQ(Raised([&] { ui.GetText(name); }), "5 PanelUi") << name;
    EXPECT_EQ(Raised([&] { ui.SetText(name, "x"); }), "5 PanelUi") << name;
  }
  EXPECT_EQ(Raised([&] { ui.SetText("txtOne", "\xFF"); }), "5 Utf16");
  EXPECT_EQ(ui.GetText("txtOne"), "");
}

TEST(Win32PanelUi, WindowsAndClassGoWithTheLastPanel) {
  HWND first_window = nullptr;
  {
    Win32PanelUi first(kLayout, nullptr);
    {
      Win32PanelUi second(kLayout, nullptr);
      EXPECT_NE(first.Window(), second.Window());
    }
    first_window = HwndConversion::ToHwnd(first.Window());
    EXPECT_TRUE(IsWindow(first_window));
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VeskProgramManagerPanel", &info));
  }
  EXPECT_FALSE(IsWindow(first_window));
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VeskProgramManagerPanel", &info));
}

TEST(Win32FileOpenDialog, FilterListEndsEachPartAndTheList) {
  const struct {
    const char* label;
    std::string filter;
    std::wstring list;
  } rows[] = {
      {"two entries", "Executables (*.exe)|*.exe|All files (*.*)|*.*",
       std::wstring(L"Executables (*.exe)\0*.exe\0All files (*.*)\0*.*\0\0", 47)},
      {"empty", "", std::wstring(L"\0\0", 2)},
      {"non-ASCII", "\xC3\x9C|*", std::wstring(L"\u00dc\0*\0\0", 5)},
  };
  for (const auto& row : rows) EXPECT_EQ(Win32FileOpenDialog::FilterList(row.filter), row.list) << row.label;
  Win32FileOpenDialog dialog;
  EXPECT_EQ(dialog.FileName(), "");
}

}  // namespace
}  // namespace vesk::platform::win32
