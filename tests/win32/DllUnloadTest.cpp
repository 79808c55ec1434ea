// The DLL loaded and freed many times, as a host does it, with hidden
// windows on two threads: it answers DllCanUnloadNow with S_OK only once no
// object and no hidden window is left. Unused, it unloads; once used, it
// stays loaded (pinned) whatever FreeLibrary is called.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "DllTestSupport.h"
#include "com/ComIds.h"
#include "com/ComInterfaces.h"

namespace {

using vesk::com::IPlugInCom;
using vesk::test::DllPath;
using vesk::test::Export;

using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

constexpr wchar_t kHiddenClass[] = L"VeskProgramManagerHidden";

// A start of a program that does not exist: it fails with 53, after the
// request has created the calling thread's hidden window.
HRESULT StartMissingProgram(IPlugInCom* plugin) {
  return vesk::test::Call(plugin, L"<request><plugin>StartProgram</plugin><method>Execute</method>"
                                  L"<params><sett><s>vesk-no-such-program.exe</s></sett></params></request>")
      .first;
}

// The threads owning a hidden window of this process, one entry per window.
BOOL CALLBACK CollectHidden(HWND hwnd, LPARAM lparam) {
  wchar_t class_name[64] = {};
  GetClassNameW(hwnd, class_name, 64);
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(hwnd, &process);
  if (process == GetCurrentProcessId() && lstrcmpW(class_name, kHiddenClass) == 0) {
    reinterpret_cast<std::vector<DWORD>*>(lparam)->push_back(thread);
  }
  return TRUE;
}
std::vector<DWORD> HiddenWindowThreads() {
  std::vector<DWORD> threads;
  EnumWindows(&CollectHidden, reinterpret_cast<LPARAM>(&threads));
  return threads;
}

bool ClassRegistered(HMODULE module) {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(module, kHiddenClass, &info) != FALSE;
}

TEST(DllUnload, RoundsOfLoadUseOnTwoThreadsAndUnload) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const HRESULT kFileNotFound = static_cast<HRESULT>(0x800A0035);  // failure 53
  const HMODULE unused = LoadLibraryW(DllPath().c_str());
  ASSERT_NE(unused, nullptr);
  EXPECT_TRUE(FreeLibrary(unused));
  EXPECT_EQ(GetModuleHandleW(L"VeskProgramManager.dll"), nullptr);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const HMODULE dll = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(dll, nullptr);
    const auto can_unload = Export<CanUnloadFn>(dll, "DllCanUnloadNow");
    IPlugInCom* const plugin = vesk::test::CreatePlugIn(dll);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(can_unload(), S_FALSE);  // the plug-in lives
    EXPECT_EQ(StartMissingProgram(plugin), kFileNotFound);

    // A second thread makes its request and keeps its window until told to end.
    const HANDLE used = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HRESULT other_hr = E_FAIL;
    DWORD other_id = 0;
    std::thread other([&] {
      other_id = GetCurrentThreadId();
      const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      other_hr = StartMissingProgram(plugin);
      SetEvent(used);
      WaitForSingleObject(finish, INFINITE);
      if (SUCCEEDED(init)) CoUninitialize();
    });
    WaitForSingleObject(used, INFINITE);
    EXPECT_EQ(other_hr, kFileNotFound);
    std::vector<DWORD> threads = HiddenWindowThreads();
    EXPECT_EQ(threads.size(), 2u);
    EXPECT_EQ(std::count(threads.begin(), threads.end(), GetCurrentThreadId()), 1);

    plugin->Release();
    // This thread's window goes; the other thread's keeps the library loaded.
    EXPECT_EQ(can_unload(), S_FALSE);
    EXPECT_EQ(HiddenWindowThreads(), std::vector<DWORD>{other_id});
    EXPECT_TRUE(ClassRegistered(dll));
    SetEvent(finish);
    other.join();
    CloseHandle(used);
    CloseHandle(finish);
    EXPECT_EQ(can_unload(), S_OK);
    EXPECT_TRUE(HiddenWindowThreads().empty());
    EXPECT_FALSE(ClassRegistered(dll));

    CoFreeUnusedLibraries();
    EXPECT_TRUE(FreeLibrary(dll));
    EXPECT_EQ(GetModuleHandleW(L"VeskProgramManager.dll"), dll);  // pinned since the first round
  }
  CoUninitialize();
}

}  // namespace
