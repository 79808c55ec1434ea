// The end action and the process scan on the real Win32 platform, against
// a program of the tests' own (HelperWindowApp.cpp).
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <filesystem>
#include <string>

#include "dispatch/plugin.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Processes.h"
#include "process/modProcessHandler.h"

namespace vesk::platform::win32 {
namespace {

namespace fs = std::filesystem;

fs::path HelperApp() {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  return fs::path(own).parent_path() / L"vesk_helper_window_app.exe";
}

// The helper program, running until the test ends it (or, at the latest,
// the object goes).
class RunningApp {
 public:
  explicit RunningApp(const fs::path& program) {
    std::wstring command = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info_)) {
      CloseHandle(info_.hThread);
    }
  }
  ~RunningApp() {
    if (info_.hProcess == nullptr) return;
    if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(info_.hProcess, 9);
    CloseHandle(info_.hProcess);
  }
  RunningApp(const RunningApp&) = delete;
  RunningApp& operator=(const RunningApp&) = delete;

  bool started() const { return info_.hProcess != nullptr; }
  DWORD id() const { return info_.dwProcessId; }
  HANDLE process() const { return info_.hProcess; }
  // The window of `class_name` of this process, waited for up to 10 s.
  HWND Window(const wchar_t* class_name) const {
    for (int i = 0; i < 200; ++i) {
      for (HWND window = FindWindowExW(nullptr, nullptr, class_name, nullptr); window != nullptr;
           window = FindWindowExW(nullptr, window, class_name, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == info_.dwProcessId) return window;
      }
      Sleep(50);
    }
    return nullptr;
  }

 private:
  PROCESS_INFORMATION info_{};
};

bool IsAbove(HWND upper, HWND lower) {
  for (HWND window = GetWindow(upper, GW_HWNDNEXT); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
    if (window == lower) return true;
  }
  return false;
}

TEST(Win32EndProgram, EndsAProgramWhoseHiddenHelperWindowStandsAboveItsMainWindow) {
  RunningApp app(HelperApp());
  ASSERT_TRUE(app.started()) << HelperApp().string();
  const HWND main = app.Window(L"VeskHelperAppMain");
  const HWND helper = app.Window(L"VeskHelperAppHelper");
  ASSERT_NE(main, nullptr);
  ASSERT_NE(helper, nullptr);
  ASSERT_TRUE(IsAbove(helper, main)) << "the helper must stand above the main window";
  ASSERT_FALSE(IsWindowVisible(helper));
  ASSERT_EQ(GetParent(helper), nullptr);

  plugin entry;
  const std::string path = Utf16::ToUtf8(HelperApp().wstring());
  EXPECT_EQ(entry.MethodCall("<request><plugin>EndProgram</plugin><method>Execute</method><params><sett><s>" + path +
                             "</s></sett></params></request>"),
            "<result><success/></result>");
  ASSERT_EQ(WaitForSingleObject(app.process(), 10000), WAIT_OBJECT_0) << "the program did not end";
  DWORD code = 9;
  GetExitCodeProcess(app.process(), &code);
  EXPECT_EQ(code, 0u) << "2: the helper window got the close request";
}

// The helper program of the other width's build (VESK_OTHER_WIDTH_BUILD):
// from the 32-bit tests, a 64-bit program, which the module route cannot list.
TEST(Win32EndProgram, EndsAProgramOfTheOtherWidth) {
  const wchar_t* other_build = _wgetenv(L"VESK_OTHER_WIDTH_BUILD");
  if (other_build == nullptr || *other_build == L'\0') GTEST_SKIP() << "VESK_OTHER_WIDTH_BUILD is not set";
  const fs::path program = fs::path(other_build).make_preferred() / L"tests" / L"vesk_helper_window_app.exe";
  if (!fs::exists(program)) GTEST_SKIP() << "the other width's build is absent: " << program.string();
  RunningApp app(program);
  if (!app.started()) GTEST_SKIP() << "the other width's programs do not run here: " << program.string();
  ASSERT_NE(app.Window(L"VeskHelperAppMain"), nullptr);
  plugin entry;
  EXPECT_EQ(entry.MethodCall("<request><plugin>EndProgram</plugin><method>Execute</method><params><sett><s>" +
                             Utf16::ToUtf8(program.wstring()) + "</s></sett></params></request>"),
            "<result><success/></result>");
  ASSERT_EQ(WaitForSingleObject(app.process(), 10000), WAIT_OBJECT_0) << "the program of the other width did not end";
}

TEST(Win32EndProgram, LimitedHandleListsOnePseudoModuleNamedByTheImagePath) {
  RunningApp app(HelperApp());
  ASSERT_TRUE(app.started());
  ASSERT_NE(app.Window(L"VeskHelperAppMain"), nullptr);
  Win32Processes processes;
  const Handle process = processes.OpenLimited(false, app.id());
  ASSERT_NE(process, 0);
  std::array<Handle, 200 / sizeof(Handle)> modules{};
  std::uint32_t needed = 0;
  ASSERT_TRUE(processes.EnumProcessModules(process, modules.data(), 200, needed));
  EXPECT_EQ(needed, sizeof(Handle));
  EXPECT_EQ(modules[0], Win32Processes::kImageModule);
  EXPECT_EQ(modules[1], 0);
  std::string buffer(500, 'x');
  bool cut = true;
  const std::uint32_t length = processes.GetModuleFileNameExA(process, modules[0], buffer, 5, cut);
  EXPECT_FALSE(cut);
  const std::string path = Utf16::ToUtf8(HelperApp().wstring());
  EXPECT_EQ(modProcessHandler::ProcessKey(buffer.substr(0, length)), modProcessHandler::ProcessKey(path));
  EXPECT_EQ(buffer.find_first_not_of('x', length), std::string::npos);
  EXPECT_TRUE(processes.CloseHandle(process));
  EXPECT_EQ(processes.OpenLimited(false, 0xFFFFFFF0u), 0);
}

TEST(Win32EndProgram, ProgramWhoseNameIsNotValidUtf16IsPassedOverInBothScans) {
  const fs::path copy = fs::temp_directory_path() / (std::wstring(L"vesk_helper_") + wchar_t{0xD800} + L".exe");
  if (!CopyFileW(HelperApp().c_str(), copy.c_str(), FALSE)) {
    GTEST_SKIP() << "this file system takes no unpaired surrogate in a name (" << GetLastError() << ")";
  }
  {
    RunningApp app(copy);
    ASSERT_TRUE(app.started());
    ASSERT_NE(app.Window(L"VeskHelperAppMain"), nullptr);
    Win32Processes processes;
    // Tool-help: its entry is never delivered; every other one is.
    const Handle snapshot = processes.CreateToolhelp32Snapshot(kSnapProcess, 0);
    ASSERT_NE(snapshot, 0);
    ProcessEntry entry;
    entry.dwSize = kProcessEntrySize;
    bool own_seen = false;
    for (bool more = processes.Process32FirstEntry(snapshot, entry); more;
         more = processes.Process32NextEntry(snapshot, entry)) {
      EXPECT_NE(entry.th32ProcessID, app.id());
      EXPECT_NE(entry.szExeFile[0], '\0') << entry.th32ProcessID;
      own_seen = own_seen || entry.th32ProcessID == GetCurrentProcessId();
    }
    EXPECT_TRUE(own_seen);
    processes.CloseHandle(snapshot);
    // Process status: its modules cannot be listed, by either route.
    std::array<Handle, 200 / sizeof(Handle)> modules{};
    std::uint32_t needed = 0;
    for (const Handle process : {processes.OpenProcess(kProcessQueryInformation | kProcessVmRead, false, app.id()),
                                 processes.OpenLimited(false, app.id())}) {
      ASSERT_NE(process, 0);
      EXPECT_FALSE(processes.EnumProcessModules(process, modules.data(), 200, needed));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
      processes.CloseHandle(process);
    }
    // A scan while it runs does not fail.
    EXPECT_NO_THROW(modProcessHandler::FindProcessWindows(Utf16::ToUtf8(HelperApp().wstring())));
  }
  for (int i = 0; i < 50 && !DeleteFileW(copy.c_str()); ++i) Sleep(100);
}

}  // namespace
}  // namespace vesk::platform::win32
