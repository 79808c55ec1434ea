// The settings panels hosted by a container written elsewhere: the system's
// ATL control host (the AtlAxWin window class of atl.dll), created by
// ProgID and driven through IPlugIn and through their windows.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include "FileDialogDriver.h"
#include "LateBinding.h"
#include "Screenshot.h"
#include "DllTestSupport.h"
#include "com/ComIds.h"
#include "com/ComInterfaces.h"

namespace {

using vesk::test::Export;
using vesk::test::UserRegistryValue;

using vesk::com::IPlugInCom;
namespace fs = std::filesystem;

fs::path BuildFolder() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  return fs::path(exe).parent_path().parent_path();
}

std::wstring Text(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

void Pump(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (GetTickCount64() < end);
}

std::wstring Call(IPlugInCom* plugin, const std::wstring& method, const std::wstring& params, HRESULT* hr = nullptr) {
  const std::wstring request = L"<request><plugin>x</plugin><method>" + method + L"</method>" + params + L"</request>";
  BSTR args = SysAllocString(request.c_str());
  BSTR reply = nullptr;
  const HRESULT result = plugin->MethodCall(args, &reply);
  if (hr != nullptr) *hr = result;
  std::wstring text = reply != nullptr ? std::wstring(reply, SysStringLen(reply)) : L"<failed>";
  SysFreeString(args);
  SysFreeString(reply);
  return text;
}

// An empty file `name` in the temporary folder, for a dialog to choose; its
// path, or empty when it cannot be made.
std::wstring EmptyTempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring file = std::wstring(temp) + name;
  HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return L"";
  CloseHandle(created);
  return file;
}

std::wstring Record(const std::vector<std::wstring>& values) {
  std::wstring record = L"<sett>";
  for (const std::wstring& value : values) record += value.empty() ? L"<s/>" : L"<s>" + value + L"</s>";
  return record + L"</sett>";
}

// One row of a panel's control table as the window should show it, in twips.
struct Expected {
  const wchar_t* window_class;
  const wchar_t* text;
  int left, top, width, height;
  bool tab_stop;
};

struct PanelCase {
  const char* label;
  const wchar_t* prog_id;
  std::vector<Expected> children;  // in creation (= tab) order
  std::vector<int> boxes;          // the indexes of the text boxes, by record position
  int browse;                      // the index of the Browse button
};

const std::vector<PanelCase>& Cases() {
  static const std::vector<PanelCase> cases = {
      {"ctlStartProgram",
       L"VeskProgramManager.ctlStartProgram",
       {{L"Edit", L"", 1440, 30, 6015, 285, true},
        {L"Static", L"Program:", 0, 30, 1335, 255, false},
        {L"Button", L"Browse...", 7560, 0, 1440, 345, true},
        {L"Static", L"Arguments:", 0, 375, 1335, 255, false},
        {L"Edit", L"", 1440, 375, 6015, 285, true},
        {L"Static", L"Start in:", 0, 720, 1335, 255, false},
        {L"Edit", L"", 1440, 720, 6015, 285, true}},
       {0, 4, 6},
       2},
      {"ctlEndProgram",
       L"VeskProgramManager.ctlEndProgram",
       {{L"Static", L"Program:", 0, 120, 1335, 255, false},
        {L"Edit", L"", 1440, 120, 6015, 285, true},
        {L"Button", L"Browse...", 7560, 90, 1440, 345, true}},
       {1},
       2},
  };
  return cases;
}

void PrintTo(const PanelCase& panel, std::ostream* out) { *out << panel.label; }

using AxWinInitFn = BOOL(WINAPI*)();
using AxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

class PanelHost : public ::testing::TestWithParam<PanelCase> {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    dll_ = LoadLibraryW((BuildFolder() / L"VeskProgramManager.dll").c_str());
    ASSERT_NE(dll_, nullptr);
    // For the user (as regsvr32 /n /i:user), and for the machine, where Wine's COM looks.
    ASSERT_EQ(Export<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(dll_, "DllInstall")(TRUE, L"user"), S_OK);
    ASSERT_EQ(Export<HRESULT(STDAPICALLTYPE*)()>(dll_, "DllRegisterServer")(), S_OK);
    atl_ = LoadLibraryW(L"atl.dll");
    ASSERT_NE(atl_, nullptr);
    ASSERT_TRUE(Export<AxWinInitFn>(atl_, "AtlAxWinInit")());
    get_control_ = Export<AxGetControlFn>(atl_, "AtlAxGetControl");
    ASSERT_NE(get_control_, nullptr);
  }
  static void TearDownTestSuite() {
    Export<HRESULT(STDAPICALLTYPE*)()>(dll_, "DllUnregisterServer")();
    Export<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(dll_, "DllInstall")(FALSE, L"user");
    FreeLibrary(dll_);
    OleUninitialize();
  }

  void SetUp() override {
    HDC screen = GetDC(nullptr);
    dpi_x_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpi_y_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    // A plain dialog-class frame; the ATL host window inside it gets the ProgID.
    frame_ = CreateWindowExW(WS_EX_CONTROLPARENT, L"#32770", L"Settings", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40, 40,
                             X(9000) + 40, Y(1080) + 60, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(frame_, nullptr);
    host_ = CreateWindowExW(0, L"AtlAxWin", GetParam().prog_id, WS_CHILD | WS_VISIBLE, 10, 10, X(9000), Y(1080),
                            frame_, nullptr, nullptr, nullptr);
    ASSERT_NE(host_, nullptr);
    IUnknown* control = nullptr;
    ASSERT_EQ(get_control_(host_, &control), S_OK);
    ASSERT_NE(control, nullptr);
    ASSERT_EQ(control->QueryInterface(vesk::com::kIID_IPlugIn, reinterpret_cast<void**>(&plugin_)), S_OK);
    control->Release();
    panel_ = GetWindow(host_, GW_CHILD);
    ASSERT_NE(panel_, nullptr);
    for (HWND child = GetWindow(panel_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      children_.push_back(child);
    }
    Pump(200);
  }

  void TearDown() override {
    if (plugin_ != nullptr) plugin_->Release();
    if (frame_ != nullptr) DestroyWindow(frame_);
    Pump(50);
  }

  int X(int twips) const { return MulDiv(twips, dpi_x_, 1440); }
  int Y(int twips) const { return MulDiv(twips, dpi_y_, 1440); }
  HWND Box(std::size_t position) const { return children_.at(static_cast<std::size_t>(GetParam().boxes.at(position))); }
  HWND Browse() const { return children_.at(static_cast<std::size_t>(GetParam().browse)); }

  // Clicks Browse as a user would and lets `driver` answer the dialog.
  void ClickBrowse(vesk::test::FileDialogDriver& driver) {
    PostMessageW(Browse(), BM_CLICK, 0, 0);
    while (!driver.done()) Pump(20);  // the click's modal dialog runs inside this pump
    Pump(50);
  }

  static inline HMODULE dll_ = nullptr;
  static inline HMODULE atl_ = nullptr;
  static inline AxGetControlFn get_control_ = nullptr;
  int dpi_x_ = 96, dpi_y_ = 96;
  HWND frame_ = nullptr, host_ = nullptr, panel_ = nullptr;
  std::vector<HWND> children_;
  IPlugInCom* plugin_ = nullptr;
};

TEST_P(PanelHost, ShowsTheControlTableAtTheSystemDpi) {
  const PanelCase& panel = GetParam();
  EXPECT_EQ(ClassOf(panel_), L"VeskProgramManagerPanel");
  EXPECT_TRUE(IsWindowVisible(panel_));
  EXPECT_TRUE(GetWindowLongPtrW(panel_, GWL_STYLE) & WS_CHILD);
  ASSERT_EQ(children_.size(), panel.children.size());
  for (std::size_t i = 0; i < children_.size(); ++i) {
    const Expected& want = panel.children[i];
    SCOPED_TRACE(std::to_string(i));
    RECT place{};
    GetWindowRect(children_[i], &place);
    MapWindowPoints(nullptr, panel_, reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(ClassOf(children_[i]), want.window_class);
    EXPECT_EQ(Text(children_[i]), want.text);
    EXPECT_EQ(place.left, X(want.left));
    EXPECT_EQ(place.top, Y(want.top));
    EXPECT_EQ(place.right - place.left, X(want.width));
    EXPECT_EQ(place.bottom - place.top, Y(want.height));
    const LONG_PTR style = GetWindowLongPtrW(children_[i], GWL_STYLE);
    EXPECT_EQ((style & WS_TABSTOP) != 0, want.tab_stop);
    EXPECT_EQ(SendMessageW(children_[i], WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)));
  }
  // The saved picture is the CI's record of how the panel looks.
  const fs::path shot = BuildFolder() / (std::string("panel-") + panel.label + ".png");
  EXPECT_TRUE(vesk::test::SaveWindowPng(frame_, shot.wstring()));
  EXPECT_GT(fs::file_size(shot), 0u);
}

TEST_P(PanelHost, TabOrderFollowsTheTable) {
  // Boxes by record position come first, then Browse after txtProgram.
  std::vector<HWND> want{Box(0), Browse()};
  for (std::size_t i = 1; i < GetParam().boxes.size(); ++i) want.push_back(Box(i));
  HWND at = GetNextDlgTabItem(panel_, nullptr, FALSE);
  for (HWND expected : want) {
    EXPECT_EQ(at, expected) << "after " << (at == nullptr ? "none" : "a stop");
    at = GetNextDlgTabItem(panel_, at, FALSE);
  }
  EXPECT_EQ(at, want.front()) << "the order wraps around";
}

TEST_P(PanelHost, SettingsTravelBetweenTheRecordAndTheBoxes) {
  const std::vector<std::wstring> values{L"  C:\\Program Files\\Zo\u00eb\\\u65e5\u672c.exe ", L" -x \u00ab\u00fc\u00bb ",
                                         L"\tC:\\T\u00e9mp  "};
  const std::size_t count = GetParam().boxes.size();
  const std::vector<std::wstring> sent(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
  // A fresh panel reports empty boxes.
  EXPECT_EQ(Call(plugin_, L"GetSettings", L"<params/>"),
            L"<result>" + Record(std::vector<std::wstring>(count)) + L"</result>");
  EXPECT_EQ(Call(plugin_, L"SetSettings", L"<params>" + Record(values) + L"</params>"), L"<result/>");
  for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(Text(Box(i)), sent[i]) << i;
  EXPECT_EQ(Call(plugin_, L"GetSettings", L"<params/>"), L"<result>" + Record(sent) + L"</result>");

  // Typed text reaches the record.
  const int end = GetWindowTextLengthW(Box(count - 1));
  SendMessageW(Box(count - 1), EM_SETSEL, static_cast<WPARAM>(end), end);
  for (wchar_t c : std::wstring(L"\u00e4z")) SendMessageW(Box(count - 1), WM_CHAR, c, 0);
  std::vector<std::wstring> typed = sent;
  typed.back() += L"\u00e4z";
  EXPECT_EQ(Call(plugin_, L"GetSettings", L"<params/>"), L"<result>" + Record(typed) + L"</result>");

  // A failed request leaves the boxes alone.
  HRESULT hr = S_OK;
  Call(plugin_, L"SetSettings", L"<params/>", &hr);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(Text(Box(0)), typed[0]);
}

// Late binding through the control's default interface reaches the same
// MethodCall, and a failed request sets error information for IPlugIn.
TEST_P(PanelHost, LateBoundCallsAndFailuresReachThePanel) {
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(plugin_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  UINT infos = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&infos), S_OK);
  EXPECT_EQ(infos, 1u);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  dispatch->Release();
  const vesk::test::LateBoundReply late = vesk::test::CallMethodByName(
      plugin_, L"<request><plugin>x</plugin><method>SetSettings</method><params><sett><s>late \u00e9.exe</s></sett>"
               L"</params></request>");
  EXPECT_EQ(late.hr, S_OK);
  EXPECT_EQ(late.reply, L"<result/>");
  EXPECT_EQ(Text(Box(0)), L"late \u00e9.exe");

  HRESULT hr = S_OK;
  EXPECT_EQ(Call(plugin_, L"GetSettings", L"<params>", &hr), L"<failed>");
  EXPECT_EQ(hr, static_cast<HRESULT>(0x800A03E8));  // failure 1000, in the control facility
  IErrorInfo* error = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
  ASSERT_NE(error, nullptr);
  BSTR source = nullptr;
  BSTR description = nullptr;
  error->GetSource(&source);
  error->GetDescription(&description);
  EXPECT_STREQ(source, L"XmlElement");
  EXPECT_EQ(std::wstring(description).rfind(L"XML parse error at line 1, column ", 0), 0u);
  SysFreeString(source);
  SysFreeString(description);
  error->Release();
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(plugin_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(vesk::com::kIID_IPlugIn), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  support->Release();
}

// A sink for a panel's events (which it never raises): IDispatch with
// nothing behind it, counting the references it is given.
class EventSink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  ULONG references = 1;  // the test's own
};

// The panel's one connection point and its connections can be listed, as
// snapshots that hand out references, and every reference comes back.
TEST_P(PanelHost, ConnectionPointsAndConnectionsAreListed) {
  const GUID& events = std::string(GetParam().label) == "ctlStartProgram" ? vesk::com::kDIID_ctlStartProgramEvents
                                                                         : vesk::com::kDIID_ctlEndProgramEvents;
  IConnectionPointContainer* container = nullptr;
  ASSERT_EQ(plugin_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), S_OK);
  IEnumConnectionPoints* points = nullptr;
  ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
  IConnectionPoint* listed[2] = {};
  ULONG fetched = 9;
  EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);  // only one
  ASSERT_EQ(fetched, 1u);
  IID listed_iid{};
  EXPECT_EQ(listed[0]->GetConnectionInterface(&listed_iid), S_OK);
  EXPECT_TRUE(IsEqualIID(listed_iid, events));
  EXPECT_EQ(points->Next(1, listed + 1, nullptr), S_FALSE);
  EXPECT_EQ(points->Next(2, listed + 1, nullptr), E_POINTER) << "more than one needs a count back";
  EXPECT_EQ(points->Reset(), S_OK);
  IEnumConnectionPoints* clone = nullptr;
  ASSERT_EQ(points->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Skip(1), S_OK);
  EXPECT_EQ(clone->Skip(1), S_FALSE);
  clone->Release();
  points->Release();

  EventSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(listed[0]->Advise(&sink, &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  IEnumConnections* connections = nullptr;
  ASSERT_EQ(listed[0]->EnumConnections(&connections), S_OK);
  CONNECTDATA data[2] = {};
  EXPECT_EQ(connections->Next(2, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(data[0].dwCookie, cookie);
  EXPECT_EQ(data[0].pUnk, static_cast<IUnknown*>(&sink));
  data[0].pUnk->Release();
  connections->Release();

  EXPECT_EQ(listed[0]->Unadvise(cookie), S_OK);
  EXPECT_EQ(listed[0]->Unadvise(cookie), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(listed[0]->EnumConnections(&connections), S_OK);
  EXPECT_EQ(connections->Next(1, data, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  connections->Release();
  EXPECT_EQ(sink.references, 1u) << "a reference to the sink was kept";
  listed[0]->Release();
  container->Release();
}

TEST_P(PanelHost, BrowsePicksAFileAndACancelChangesNothing) {
  const std::wstring file = EmptyTempFile(L"vesk pick \u00e9.exe");
  ASSERT_FALSE(file.empty());
  const std::size_t count = GetParam().boxes.size();
  const std::vector<std::wstring> before{L"old.exe", L"-a", L"C:\\"};
  Call(plugin_, L"SetSettings", L"<params>" + Record(before) + L"</params>");

  {
    vesk::test::FileDialogDriver driver(file);
    ClickBrowse(driver);
    ASSERT_TRUE(driver.found()) << "no file-open dialog appeared";
    EXPECT_EQ(driver.filters(), (std::vector<std::wstring>{L"Executables (*.exe)", L"All files (*.*)"}));
    EXPECT_FALSE(driver.read_only_visible());
  }
  wchar_t full[MAX_PATH] = {};
  GetLongPathNameW(file.c_str(), full, MAX_PATH);
  EXPECT_EQ(fs::path(Text(Box(0))), fs::path(full));
  for (std::size_t i = 1; i < count; ++i) EXPECT_EQ(Text(Box(i)), before[i]) << i;

  SetWindowTextW(Box(0), L"kept.exe");
  {
    vesk::test::FileDialogDriver driver(L"");
    ClickBrowse(driver);
    ASSERT_TRUE(driver.found()) << "no file-open dialog appeared";
  }
  EXPECT_EQ(Text(Box(0)), L"kept.exe");
  DeleteFileW(file.c_str());
}

// A container that draws the control itself (print preview, a design view)
// gets the panel's face at the bounds it gives, and nothing outside them.
TEST_P(PanelHost, DrawsItsFaceIntoTheContainersBoundsOnly) {
  Call(plugin_, L"SetSettings", L"<params>" + Record({L"WWWWWWWWWWWWWWWW"}) + L"</params>");
  IViewObject2* view = nullptr;
  ASSERT_EQ(plugin_->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&view)), S_OK);
  RECT panel_rect{};
  GetClientRect(panel_, &panel_rect);
  const int margin = 10;
  const int width = panel_rect.right + 2 * margin;
  const int height = panel_rect.bottom + 2 * margin;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bitmap, nullptr);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const auto pixels = static_cast<DWORD*>(bits);
  std::fill(pixels, pixels + width * height, 0x00FF00FFu);  // magenta: not drawn on
  const auto at = [&](int x, int y) { return pixels[y * width + x] & 0x00FFFFFFu; };

  const RECTL bounds{margin, margin, margin + panel_rect.right, margin + panel_rect.bottom};
  EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0),
            DV_E_DVASPECT);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, nullptr, nullptr, nullptr, 0),
            E_INVALIDARG);
  EXPECT_EQ(at(margin + 1, margin + 1), 0x00FF00FFu) << "a refused draw painted";
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0), S_OK);
  GdiFlush();

  // Outside the bounds: untouched. Inside: the face colour where no control
  // stands, and the program box's border and text where it stands.
  for (int x = 0; x < width; ++x) {
    EXPECT_EQ(at(x, margin - 1), 0x00FF00FFu) << x;
    EXPECT_EQ(at(x, height - margin), 0x00FF00FFu) << x;
  }
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(at(margin - 1, y), 0x00FF00FFu) << y;
    EXPECT_EQ(at(width - margin, y), 0x00FF00FFu) << y;
  }
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const DWORD face_pixel = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
  EXPECT_EQ(at(width - margin - 1, height - margin - 1), face_pixel) << "the bottom right corner holds no control";
  RECT box{};
  GetWindowRect(Box(0), &box);
  MapWindowPoints(nullptr, panel_, reinterpret_cast<POINT*>(&box), 2);
  std::set<DWORD> in_box;
  for (int y = box.top; y < box.bottom; ++y) {
    for (int x = box.left; x < box.right; ++x) in_box.insert(at(margin + x, margin + y));
  }
  EXPECT_EQ(in_box.count(0x00FF00FFu), 0u) << "part of the program box was not drawn";
  EXPECT_GE(in_box.size(), 3u) << "the program box shows no border and text";

  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  view->Release();
}

// The timer of ReleasedWhileBrowsingGoesWhenTheClickEnds: once the dialog
// is up, the host window (and with it the control) goes.
vesk::test::FileDialogDriver* g_watched = nullptr;
HWND g_doomed = nullptr;
void CALLBACK DestroyOnceTheDialogIsUp(HWND frame, UINT, UINT_PTR id, DWORD) {
  if (!g_watched->found()) return;
  KillTimer(frame, id);
  DestroyWindow(g_doomed);
}

// A container may let the control go while its Browse dialog is open (here
// the host window is destroyed from a timer that the dialog's own message
// loop runs). The control must live until the click ends, choose nothing
// into a window that is gone, and then go: no object may be left.
TEST_P(PanelHost, ReleasedWhileBrowsingGoesWhenTheClickEnds) {
  const std::wstring file = EmptyTempFile(L"vesk released.exe");
  ASSERT_FALSE(file.empty());
  plugin_->Release();  // the host window holds the only reference now
  plugin_ = nullptr;

  vesk::test::FileDialogDriver driver(file);  // confirms a choice once the host is gone
  g_watched = &driver;
  g_doomed = host_;
  SetTimer(frame_, 1, 20, &DestroyOnceTheDialogIsUp);
  ClickBrowse(driver);
  KillTimer(frame_, 1);
  DeleteFileW(file.c_str());

  ASSERT_TRUE(driver.found()) << "no file-open dialog appeared";
  EXPECT_FALSE(IsWindow(host_));
  EXPECT_FALSE(IsWindow(panel_));
  EXPECT_EQ(Export<HRESULT(STDAPICALLTYPE*)()>(dll_, "DllCanUnloadNow")(), S_OK) << "an object was left alive";
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelHost, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<PanelCase>& row) { return row.param.label; });

TEST(PanelRegistration, MarksBothPanelsAsControlsWithTheirToolboxImages) {
  HMODULE dll = LoadLibraryW((BuildFolder() / L"VeskProgramManager.dll").c_str());
  ASSERT_NE(dll, nullptr);
  ASSERT_EQ(Export<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(dll, "DllInstall")(TRUE, L"user"), S_OK);
  const struct {
    const wchar_t* clsid;
    int bitmap;
  } rows[] = {{L"{10E15511-61C7-4236-ADC0-0170F70A3ECD}", 30000}, {L"{8FA052DC-15AE-4EEF-B298-DFCAF31F7B6C}", 30001}};
  for (const auto& row : rows) {
    const std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + row.clsid;
    EXPECT_EQ(UserRegistryValue(key + L"\\Control", nullptr), L"");
    const std::wstring toolbox = UserRegistryValue(key + L"\\ToolboxBitmap32", nullptr);
    EXPECT_EQ(toolbox.substr(toolbox.rfind(L',') + 1), std::to_wstring(row.bitmap));
    EXPECT_TRUE(fs::equivalent(toolbox.substr(0, toolbox.rfind(L',')), BuildFolder() / L"VeskProgramManager.dll"));
    EXPECT_EQ(UserRegistryValue(key + L"\\MiscStatus\\1", nullptr), L"131473");
    // The image itself: 16 x 15 pixels in 16 colours.
    HANDLE image = LoadImageW(dll, MAKEINTRESOURCEW(row.bitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    ASSERT_NE(image, nullptr) << row.bitmap;
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(image, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmWidth, 16);
    EXPECT_EQ(section.dsBm.bmHeight, 15);
    EXPECT_EQ(section.dsBm.bmBitsPixel, 4);
    DeleteObject(image);
  }
  Export<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(dll, "DllInstall")(FALSE, L"user");
  FreeLibrary(dll);
}

}  // namespace
