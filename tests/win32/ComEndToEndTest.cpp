// The DLL as a host uses it: registered for the user, created by ProgID,
// called through IPlugIn, released, unloaded and unregistered.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "MessageBoxWatcher.h"
#include "LateBinding.h"
#include "DllTestSupport.h"
#include "com/ComIds.h"
#include "com/ComInterfaces.h"

namespace {

using vesk::test::DllPath;
using vesk::test::Export;
using vesk::test::UserRegistryValue;

using vesk::com::IPlugInCom;
namespace fs = std::filesystem;

const std::wstring kClsid = L"{8277CCD6-415A-45C2-9761-B5750C7170CC}";
// The keys registration owns here: no host registered IPlugIn before, so its
// key is the library's too, and unregistration removes every one of them.
const wchar_t* const kKeys[] = {
    L"Software\\Classes\\CLSID\\{8277CCD6-415A-45C2-9761-B5750C7170CC}",
    L"Software\\Classes\\VeskProgramManager.PlugIn",
    L"Software\\Classes\\TypeLib\\{3B4D03EE-585E-4B21-9977-8EA24349175A}",
    L"Software\\Classes\\Interface\\{F49BCB8B-22F5-4FE0-9C2A-C60EC7169C60}",
    L"Software\\Classes\\Interface\\{C1E060AF-8A6D-416F-9078-9D6E47F7B9B2}",
};

bool KeyExists(const std::wstring& key, HKEY root = HKEY_CURRENT_USER) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
using RegisterFn = HRESULT(STDAPICALLTYPE*)();

// Runs one request; returns the reply, or the HRESULT and error description.
struct Call {
  HRESULT hr;
  std::wstring reply, source, description;
};
Call Send(IPlugInCom* plugin, const std::wstring& request) {
  Call call{};
  BSTR args = SysAllocString(request.c_str());
  BSTR reply = nullptr;
  call.hr = plugin->MethodCall(args, &reply);
  SysFreeString(args);
  if (reply != nullptr) call.reply.assign(reply, SysStringLen(reply));
  SysFreeString(reply);
  if (FAILED(call.hr)) {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK) {
      BSTR text = nullptr;
      info->GetSource(&text);
      call.source = text != nullptr ? text : L"";
      SysFreeString(text);
      info->GetDescription(&text);
      call.description = text != nullptr ? text : L"";
      SysFreeString(text);
      info->Release();
    }
  }
  return call;
}

std::wstring Envelope(const std::wstring& target, const std::wstring& method, const std::wstring& params = L"<params/>") {
  return L"<request><plugin>" + target + L"</plugin><method>" + method + L"</method>" + params + L"</request>";
}

// Every top-level window whose title contains `part`.
struct TitleSearch {
  std::wstring part;
  std::vector<HWND> found;
};
BOOL CALLBACK CollectTitled(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<TitleSearch*>(lparam);
  wchar_t title[512] = {};
  GetWindowTextW(hwnd, title, 512);
  if (std::wstring(title).find(search->part) != std::wstring::npos) search->found.push_back(hwnd);
  return TRUE;
}
std::vector<HWND> WindowsTitled(const std::wstring& part) {
  TitleSearch search{part, {}};
  EnumWindows(&CollectTitled, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Every top-level window of class `class_name` and the processes they belong to.
struct ClassSearch {
  const wchar_t* class_name;
  std::vector<HWND> found;
};
BOOL CALLBACK CollectOfClass(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<ClassSearch*>(lparam);
  wchar_t class_name[64] = {};
  GetClassNameW(hwnd, class_name, 64);
  if (lstrcmpiW(class_name, search->class_name) == 0) search->found.push_back(hwnd);
  return TRUE;
}
std::vector<HWND> WindowsOfClass(const wchar_t* class_name) {
  ClassSearch search{class_name, {}};
  EnumWindows(&CollectOfClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The image path of process `id` as the kernel names it, or "" when it cannot be opened.
std::wstring ImagePath(DWORD id) {
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr) return L"";
  wchar_t path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  const BOOL named = QueryFullProcessImageNameW(process, 0, path, &length);
  CloseHandle(process);
  return named ? std::wstring(path, length) : L"";
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
  return text;
}

std::string Narrow(const std::wstring& text) { return fs::path(text).string(); }

class ComEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  static void TearDownTestSuite() { CoUninitialize(); }
};

TEST_F(ComEndToEnd, RegistersCreatesByProgIdCallsUnloadsAndUnregisters) {
  for (const wchar_t* key : kKeys) ASSERT_FALSE(KeyExists(key)) << fs::path(key).string();
  // Per-user registration, as regsvr32 /n /i:user does it.
  HMODULE dll = LoadLibraryW(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  ASSERT_EQ(Export<InstallFn>(dll, "DllInstall")(TRUE, L"user"), S_OK);
  FreeLibrary(dll);
  for (const wchar_t* key : kKeys) EXPECT_TRUE(KeyExists(key)) << fs::path(key).string();
  const std::wstring server = std::wstring(kKeys[0]) + L"\\InprocServer32";
  EXPECT_EQ(UserRegistryValue(server, L"ThreadingModel"), L"Apartment");
  EXPECT_TRUE(fs::equivalent(UserRegistryValue(server, nullptr), DllPath()));
  EXPECT_EQ(UserRegistryValue(std::wstring(kKeys[1]) + L"\\CLSID", nullptr), kClsid);
  // Wine's COM looks classes up in the machine's hive only, so the machine
  // registration is made too; on Windows the user's alone is enough.
  dll = LoadLibraryW(DllPath().c_str());
  ASSERT_EQ(Export<RegisterFn>(dll, "DllRegisterServer")(), S_OK);
  FreeLibrary(dll);

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"VeskProgramManager.PlugIn", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, vesk::com::kCLSID_PlugIn));
  IPlugInCom* plugin = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vesk::com::kIID_IPlugIn,
                             reinterpret_cast<void**>(&plugin)),
            S_OK);
  const HMODULE loaded = GetModuleHandleW(L"VeskProgramManager.dll");
  ASSERT_NE(loaded, nullptr);
  const auto can_unload = Export<CanUnloadFn>(loaded, "DllCanUnloadNow");
  EXPECT_EQ(can_unload(), S_FALSE);

  // The catalogue, exactly.
  Call call = Send(plugin, Envelope(L"PlugInInfo", L"GetPlugIns"));
  EXPECT_EQ(call.hr, S_OK);
  EXPECT_EQ(call.reply,
            L"<result><plugins><plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin>"
            L"<plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin></plugins></result>");

  // The protocol methods that only reply.
  struct Row {
    const wchar_t* method;
    const wchar_t* reply;
  } rows[] = {
      {L"GetName", L"<result><name>Start program plug-in</name></result>"},
      {L"GetActionInfo",
       L"<result><shortdescription>Start program with arguments</shortdescription>"
       L"<category>Starting programs/files</category><description>starts a program with the specified "
       L"arguments in the specified folder</description></result>"},
      {L"GetSettingsControlName", L"<result><name>ctlStartProgram</name></result>"},
      {L"getname", L"<result/>"},
  };
  for (const Row& row : rows) {
    call = Send(plugin, Envelope(L"StartProgram", row.method));
    EXPECT_EQ(call.hr, S_OK) << fs::path(row.method).string();
    EXPECT_EQ(call.reply, row.reply) << fs::path(row.method).string();
  }

  // The message boxes, found on screen by their caption and dismissed here.
  {
    vesk::test::MessageBoxWatcher watcher(L"VeskProgramManager");
    for (const wchar_t* method : {L"ShowAbout", L"ShowHelp", L"ShowSettings"}) {
      call = Send(plugin, Envelope(L"StartProgram", method));
      EXPECT_EQ(call.hr, S_OK);
      EXPECT_EQ(call.reply, L"<result/>");
    }
    EXPECT_EQ(watcher.texts(), (std::vector<std::wstring>{L"Start program plug-in by Quorvel.",
                                                           L"No help available",
                                                           L"This plug-in doesn't have settings"}));
  }

  // Execute: Wine's notepad on a document in a folder outside every code page.
  const fs::path folder = fs::temp_directory_path() / L"vesk \u00dcbung \u65e5\u672c \U0001F600";
  const fs::path document = folder / L"notiz \u00fc.txt";
  fs::create_directories(folder);
  std::ofstream(document) << "VeskProgramManager\n";
  call = Send(plugin, Envelope(L"StartProgram", L"Execute",
                               L"<params><sett><s>notepad.exe</s><s>\"" + document.wstring() + L"\"</s><s>" +
                                   folder.wstring() + L"</s></sett></params>"));
  EXPECT_EQ(call.hr, S_OK) << fs::path(call.description).string();
  EXPECT_EQ(call.reply, L"<result><success/></result>");
  std::vector<HWND> notepads;
  for (int i = 0; i < 200 && notepads.empty(); ++i) {
    Sleep(50);
    notepads = WindowsTitled(L"notiz \u00fc.txt");
  }
  ASSERT_EQ(notepads.size(), 1u) << "notepad did not open the document";
  PostMessageW(notepads[0], WM_CLOSE, 0, 0);
  for (int i = 0; i < 200 && IsWindow(notepads[0]); ++i) Sleep(50);
  EXPECT_FALSE(IsWindow(notepads[0]));
  std::error_code removed;
  for (int i = 0; i < 100 && (fs::remove_all(folder, removed), removed); ++i) Sleep(50);

  // The end action: its protocol methods and message boxes.
  const Row end_rows[] = {
      {L"GetName", L"<result><name>End program plug-in</name></result>"},
      {L"GetActionInfo",
       L"<result><shortdescription>End program</shortdescription><category>Starting programs/files</category>"
       L"<description>Ends a program</description></result>"},
      {L"GetSettingsControlName", L"<result><name>ctlEndProgram</name></result>"},
      {L"execute", L"<result/>"},
  };
  for (const Row& row : end_rows) {
    call = Send(plugin, Envelope(L"EndProgram", row.method));
    EXPECT_EQ(call.hr, S_OK) << Narrow(row.method);
    EXPECT_EQ(call.reply, row.reply) << Narrow(row.method);
  }
  {
    vesk::test::MessageBoxWatcher watcher(L"VeskProgramManager");
    for (const wchar_t* method : {L"ShowAbout", L"ShowHelp", L"ShowSettings"}) {
      call = Send(plugin, Envelope(L"EndProgram", method));
      EXPECT_EQ(call.hr, S_OK);
      EXPECT_EQ(call.reply, L"<result/>");
    }
    EXPECT_EQ(watcher.texts(), (std::vector<std::wstring>{L"End program plug-in by Quorvel.",
                                                           L"Ends the specified program if it is running.",
                                                           L"This plug-in doesn't have settings"}));
  }

  // Two notepads started through the start action, then ended by their path
  // in other case and with surrounding spaces: every instance closes.
  ASSERT_TRUE(WindowsOfClass(L"Notepad").empty()) << "a notepad is still open";
  for (int started = 0; started < 2; ++started) {
    call = Send(plugin, Envelope(L"StartProgram", L"Execute", L"<params><sett><s>notepad.exe</s></sett></params>"));
    EXPECT_EQ(call.hr, S_OK) << Narrow(call.description);
  }
  std::vector<HWND> started;
  for (int i = 0; i < 200 && started.size() < 2; ++i) {
    Sleep(50);
    started = WindowsOfClass(L"Notepad");
  }
  ASSERT_EQ(started.size(), 2u) << "the notepads did not open";
  std::vector<HANDLE> processes;
  std::wstring notepad_path;
  for (const HWND window : started) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    processes.push_back(OpenProcess(SYNCHRONIZE, FALSE, id));
    notepad_path = ImagePath(id);
  }
  ASSERT_GE(notepad_path.size(), 12u);
  EXPECT_EQ(Upper(notepad_path.substr(notepad_path.size() - 12)), L"\\NOTEPAD.EXE");
  call = Send(plugin, Envelope(L"EndProgram", L"Execute",
                               L"<params><sett><s>  " + Upper(notepad_path) + L" </s></sett></params>"));
  EXPECT_EQ(call.hr, S_OK) << Narrow(call.description);
  EXPECT_EQ(call.reply, L"<result><success/></result>");
  for (const HANDLE process : processes) {
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "a notepad did not end";
    CloseHandle(process);
  }
  EXPECT_TRUE(WindowsOfClass(L"Notepad").empty());
  // Nothing runs that path any more: the action still succeeds.
  call = Send(plugin, Envelope(L"EndProgram", L"Execute",
                               L"<params><sett><s>" + notepad_path + L"</s></sett></params>"));
  EXPECT_EQ(call.hr, S_OK) << Narrow(call.description);
  EXPECT_EQ(call.reply, L"<result><success/></result>");

  // A malformed request: a failed call in the control facility, with error information.
  call = Send(plugin, L"<request><plugin>PlugInInfo</plugin>");
  EXPECT_EQ(call.hr, static_cast<HRESULT>(0x800A03E8));  // failure 1000
  EXPECT_EQ(call.reply, L"");
  EXPECT_EQ(call.source, L"XmlElement");
  EXPECT_EQ(call.description.rfind(L"XML parse error at line 1, column ", 0), 0u) << fs::path(call.description).string();
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(plugin->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(vesk::com::kIID_IPlugIn), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  support->Release();

  // Late binding through IDispatch reaches MethodCall by name.
  const vesk::test::LateBoundReply late =
      vesk::test::CallMethodByName(plugin, Envelope(L"StartProgram", L"GetSettingsControlName"));
  EXPECT_EQ(late.hr, S_OK);
  EXPECT_EQ(late.reply, L"<result><name>ctlStartProgram</name></result>");

  // After the last release the library may be unloaded.
  plugin->Release();
  EXPECT_EQ(can_unload(), S_OK);

  dll = LoadLibraryW(DllPath().c_str());
  ASSERT_EQ(Export<InstallFn>(dll, "DllInstall")(FALSE, L"user"), S_OK);
  EXPECT_EQ(Export<InstallFn>(dll, "DllInstall")(FALSE, L"user"), S_OK);  // nothing left is fine
  ASSERT_EQ(Export<RegisterFn>(dll, "DllUnregisterServer")(), S_OK);
  FreeLibrary(dll);
  for (const wchar_t* key : kKeys) {
    EXPECT_FALSE(KeyExists(key)) << fs::path(key).string();
    EXPECT_FALSE(KeyExists(key, HKEY_LOCAL_MACHINE)) << fs::path(key).string();
  }
}

}  // namespace
