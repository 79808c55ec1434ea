// The settings panels' keyboard inside a container that forwards keys as a
// real one does: each WM_KEYDOWN goes to the active object's
// TranslateAccelerator first, and what that leaves to the container goes
// through the container's own dialog navigation (IsDialogMessage). Also the
// text boxes' length. The control comes straight from the DLL's class
// factory, so nothing is registered.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <ocidl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DllTestSupport.h"
#include "FileDialogDriver.h"
#include "TestContainer.h"
#include "com/ComIds.h"
#include "com/ComInterfaces.h"

namespace {

using vesk::test::Export;
using vesk::test::TestContainer;
namespace fs = std::filesystem;

constexpr DWORD kShift = 1;  // the KEYMOD_ flags of IOleControlSite::TranslateAccelerator
constexpr DWORD kControl = 2;
constexpr int kBefore = 11;  // the container's own buttons, before and after the panel
constexpr int kAfter = 12;

struct PanelCase {
  const char* label;
  const GUID* clsid;
  std::size_t stops;  // the panel's tab stops: the program box, Browse, the other boxes
  std::size_t boxes;
};

const PanelCase kPanels[] = {
    {"ctlStartProgram", &vesk::com::kCLSID_ctlStartProgram, 4, 3},
    {"ctlEndProgram", &vesk::com::kCLSID_ctlEndProgram, 2, 1},
};

void PrintTo(const PanelCase& panel, std::ostream* out) { *out << panel.label; }

std::wstring Call(IUnknown* control, const std::wstring& method, const std::wstring& params) {
  vesk::com::IPlugInCom* plugin = nullptr;
  if (control->QueryInterface(vesk::com::kIID_IPlugIn, reinterpret_cast<void**>(&plugin)) != S_OK) return L"<no IPlugIn>";
  const std::wstring request = L"<request><plugin>x</plugin><method>" + method + L"</method>" + params + L"</request>";
  BSTR args = SysAllocString(request.c_str());
  BSTR reply = nullptr;
  const HRESULT hr = plugin->MethodCall(args, &reply);
  std::wstring text = SUCCEEDED(hr) && reply != nullptr ? std::wstring(reply, SysStringLen(reply)) : L"<failed>";
  SysFreeString(args);
  SysFreeString(reply);
  plugin->Release();
  return text;
}

class PanelKeyboard : public ::testing::TestWithParam<PanelCase> {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    dll_ = LoadLibraryW((fs::path(exe).parent_path().parent_path() / L"VeskProgramManager.dll").c_str());
    ASSERT_NE(dll_, nullptr);
  }
  static void TearDownTestSuite() {
    FreeLibrary(dll_);
    OleUninitialize();
  }

  void SetUp() override {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(Export<GetClassObjectFn>(dll_, "DllGetClassObject")(*GetParam().clsid, IID_IClassFactory,
                                                                  reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, reinterpret_cast<void**>(&object_)), S_OK);
    factory->Release();
    ASSERT_EQ(object_->SetClientSite(&container_), S_OK);
    RECT place{};
    GetClientRect(container_.hwnd(), &place);
    place.bottom -= 40;  // room for the container's own buttons below the panel
    ASSERT_EQ(object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &container_, 0, container_.hwnd(), &place), S_OK);
    ASSERT_NE(container_.active(), nullptr) << "the frame was not given the active object";
    ASSERT_EQ(container_.active()->GetWindow(&panel_), S_OK);
    for (HWND child = GetWindow(panel_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      if (GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) stops_.push_back(child);
    }
    ASSERT_EQ(stops_.size(), GetParam().stops);
    // The container's tab order: Before, the panel, After.
    before_ = Button(L"Before", kBefore, place.bottom);
    after_ = Button(L"After", kAfter, place.bottom);
    SetWindowPos(before_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetForegroundWindow(container_.hwnd());
  }

  void TearDown() override {
    if (object_ != nullptr) {
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
      object_->Release();
    }
    container_.SetActiveObject(nullptr, nullptr);
    EXPECT_EQ(container_.references, 1u) << "the control kept a reference to its container";
  }

  HWND Button(const wchar_t* caption, int id, int top) {
    return CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, id == kBefore ? 0 : 100,
                           top, 90, 30, container_.hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                           nullptr);
  }

  // A key pressed with the focus on `at`, through the control first and
  // then, unless it took the key, through the container's navigation.
  HRESULT Press(HWND at, WPARAM key, DWORD modifiers) {
    SetFocus(at);
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] = static_cast<BYTE>((modifiers & kShift) ? 0x80 : 0);
    state[VK_CONTROL] = static_cast<BYTE>((modifiers & kControl) ? 0x80 : 0);
    SetKeyboardState(state);
    MSG msg{GetFocus(), WM_KEYDOWN, key, 1, static_cast<DWORD>(GetMessageTime()), {}};
    const HRESULT hr = container_.active()->TranslateAccelerator(&msg);
    if (hr != S_OK) IsDialogMessageW(container_.hwnd(), &msg);
    state[VK_SHIFT] = state[VK_CONTROL] = 0;
    SetKeyboardState(state);
    return hr;
  }

  static inline HMODULE dll_ = nullptr;
  TestContainer container_{SIZE{700, 200}};
  IOleObject* object_ = nullptr;
  HWND panel_ = nullptr, before_ = nullptr, after_ = nullptr;
  std::vector<HWND> stops_;
};

TEST_P(PanelKeyboard, KeysReachThePanelOrTheContainer) {
  enum Where { kFirst, kSecond, kLast, kBeforeButton, kAfterButton, kContainer };
  const struct {
    const char* label;
    Where from;
    WPARAM key;
    DWORD modifiers;
    HRESULT site_answer;
    HRESULT result;      // of the control's TranslateAccelerator
    bool site_sees_key;  // offered to IOleControlSite::TranslateAccelerator
    Where focus;         // where the focus ends
    WORD command;        // the container's WM_COMMAND, 0 for none
    bool browses;        // the key clicked Browse: its file dialog opened
  } rows[] = {
      {"Tab from the last stop leaves the panel", kLast, VK_TAB, 0, S_FALSE, S_FALSE, true, kAfterButton, 0, false},
      {"Shift+Tab from the first stop leaves the panel", kFirst, VK_TAB, kShift, S_FALSE, S_FALSE, true,
       kBeforeButton, 0, false},
      {"Tab from the first stop stays inside", kFirst, VK_TAB, 0, S_FALSE, S_OK, false, kSecond, 0, false},
      {"Shift+Tab from the second stop stays inside", kSecond, VK_TAB, kShift, S_FALSE, S_OK, false, kFirst, 0, false},
      {"Ctrl+Tab is the container's", kFirst, VK_TAB, kControl, S_OK, S_OK, true, kFirst, 0, false},
      {"Enter in a text box reaches the default button", kFirst, VK_RETURN, 0, S_FALSE, S_FALSE, true, kFirst, IDOK,
       false},
      {"Esc on Browse reaches the cancel button", kSecond, VK_ESCAPE, 0, S_FALSE, S_FALSE, true, kSecond, IDCANCEL,
       false},
      {"a key the site takes goes no further", kFirst, VK_RETURN, 0, S_OK, S_OK, true, kFirst, 0, false},
      // The file dialog's end activates its owner, the container, which (no
      // dialog itself) keeps no focus of its own.
      {"Enter on Browse clicks it, not the default button", kSecond, VK_RETURN, 0, S_FALSE, S_OK, false, kContainer, 0,
       true},
      {"Ctrl+Enter on Browse is the container's", kSecond, VK_RETURN, kControl, S_FALSE, S_FALSE, true, kSecond, IDOK,
       false},
  };
  const auto window = [&](Where where) {
    switch (where) {
      case kFirst: return stops_.front();
      case kSecond: return stops_.at(1);
      case kLast: return stops_.back();
      case kBeforeButton: return before_;
      case kAfterButton: return after_;
      case kContainer: return container_.hwnd();
    }
    return HWND{};
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    container_.keys().clear();
    container_.commands().clear();
    container_.key_answer = row.site_answer;
    vesk::test::FileDialogDriver driver(L"");  // cancels a Browse dialog
    EXPECT_EQ(Press(window(row.from), row.key, row.modifiers), row.result);
    for (MSG posted; PeekMessageW(&posted, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&posted);
    EXPECT_EQ(driver.found(), row.browses);
    const std::vector<TestContainer::Key> offered{{WM_KEYDOWN, row.key, row.modifiers}};
    EXPECT_EQ(container_.keys(), row.site_sees_key ? offered : std::vector<TestContainer::Key>{});
    EXPECT_EQ(GetFocus(), window(row.focus));
    EXPECT_EQ(container_.commands(), row.command == 0 ? std::vector<WORD>{} : std::vector<WORD>{row.command});
  }
}

// Keys for windows outside the panel are not the panel's.
TEST_P(PanelKeyboard, IgnoresKeysForOtherWindowsAndNoKey) {
  MSG msg{after_, WM_KEYDOWN, VK_TAB, 1, 0, {}};
  EXPECT_EQ(container_.active()->TranslateAccelerator(&msg), S_FALSE);
  EXPECT_TRUE(container_.keys().empty());
  EXPECT_EQ(container_.active()->TranslateAccelerator(nullptr), E_POINTER);
}

// The text boxes have no limit of their own: a text far over the system's
// default of 30,000 characters travels through the record both ways, and
// typing goes on at its end.
TEST_P(PanelKeyboard, TextBoxesTakeTextsOfAnyLength) {
  std::wstring text;
  while (text.size() < 40'000) text += L"abc \u00e9\u65e5";
  std::wstring others;
  for (std::size_t i = 1; i < GetParam().boxes; ++i) others += L"<s/>";
  EXPECT_EQ(Call(object_, L"SetSettings", L"<params><sett><s>" + text + L"</s></sett></params>"), L"<result/>");
  EXPECT_EQ(Call(object_, L"GetSettings", L"<params/>"), L"<result><sett><s>" + text + L"</s>" + others + L"</sett></result>");

  const HWND box = stops_.front();
  SendMessageW(box, EM_SETSEL, text.size(), static_cast<LPARAM>(text.size()));
  SendMessageW(box, WM_CHAR, L'Z', 0);
  EXPECT_EQ(Call(object_, L"GetSettings", L"<params/>"),
            L"<result><sett><s>" + text + L"Z</s>" + others + L"</sett></result>");
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelKeyboard, ::testing::ValuesIn(kPanels),
                         [](const ::testing::TestParamInfo<PanelCase>& row) { return row.param.label; });

}  // namespace
