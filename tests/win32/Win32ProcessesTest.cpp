#include "platform/win32/Win32Processes.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/HwndConversion.h"
#include "platform/win32/UniqueResource.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32MessagePump.h"
#include "platform/win32/Win32Windows.h"
#include "process/modProcessHandler.h"

namespace vesk::platform::win32 {
namespace {

std::string OwnPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return Utf16::ToUtf8(std::wstring_view(path, length));
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  return text;
}

TEST(Win32Processes, RecordSizesAreThoseOfTheWideRecordsOfThisWidth) {
  EXPECT_EQ(Win32Processes::kWideOsVersionInfoSize, 276u);
  EXPECT_EQ(Win32Processes::kWideProcessEntrySize, sizeof(void*) == 8 ? 568u : 556u);
}

TEST(Win32Processes, VersionQueryTakesTheLogicsRecordSizeOnly) {
  Win32Processes processes;
  OsVersionInfo info;
  info.dwOSVersionInfoSize = kOsVersionInfoSize;
  info.szCSDVersion.assign(kCsdVersionLength, ' ');
  ASSERT_TRUE(processes.GetVersionExA(info));
  EXPECT_EQ(info.dwPlatformId, kPlatformNt);
  EXPECT_GE(info.dwMajorVersion, 5u);
  ASSERT_GE(info.szCSDVersion.size(), kCsdVersionLength);
  EXPECT_EQ(info.szCSDVersion.back(), '\0');  // the text, then NULs

  // Any other size is refused and leaves the record as it was.
  for (const std::uint32_t size : {0u, 156u, Win32Processes::kWideOsVersionInfoSize}) {
    OsVersionInfo other;
    other.dwOSVersionInfoSize = size;
    other.szCSDVersion = "unchanged";
    EXPECT_FALSE(processes.GetVersionExA(other)) << size;
    EXPECT_EQ(other.dwPlatformId, 0u) << size;
    EXPECT_EQ(other.szCSDVersion, "unchanged") << size;
  }
}

TEST(Win32Processes, ToolHelpWalkDeliversThisProcessByItsFileName) {
  Win32Processes processes;
  const Handle snapshot = processes.CreateToolhelp32Snapshot(kSnapProcess, 0);
  ASSERT_NE(snapshot, 0);
  ProcessEntry entry;
  entry.dwSize = kProcessEntrySize;
  std::vector<ProcessEntry> entries;
  for (bool more = processes.Process32FirstEntry(snapshot, entry); more;
       more = processes.Process32NextEntry(snapshot, entry)) {
    entries.push_back(entry);
  }
  EXPECT_FALSE(processes.Process32NextEntry(snapshot, entry));  // stays at the end

  ProcessEntry wrong_size;
  wrong_size.dwSize = Win32Processes::kWideProcessEntrySize;
  EXPECT_FALSE(processes.Process32FirstEntry(snapshot, wrong_size));
  EXPECT_TRUE(processes.CloseHandle(snapshot));

  const auto own = std::find_if(entries.begin(), entries.end(),
                                [](const ProcessEntry& e) { return e.th32ProcessID == GetCurrentProcessId(); });
  ASSERT_NE(own, entries.end());
  const std::string name = std::filesystem::path(OwnPath()).filename().string();
  ASSERT_EQ(own->szExeFile.size(), kExeFileLength);
  EXPECT_FALSE(own->exe_file_cut);
  EXPECT_EQ(own->szExeFile.substr(0, name.size()), name);
  EXPECT_EQ(own->szExeFile.find_first_not_of('\0', name.size()), std::string::npos);
}

TEST(Win32Processes, ProcessStatusFunctionsNameThisProcessByItsPath) {
  Win32Processes processes;
  std::array<std::uint32_t, 1024> ids{};
  std::uint32_t returned = 0;
  ASSERT_TRUE(processes.EnumProcesses(ids.data(), sizeof(ids), returned));
  ASSERT_EQ(returned % 4, 0u);
  EXPECT_NE(std::find(ids.begin(), ids.begin() + returned / 4, GetCurrentProcessId()), ids.begin() + returned / 4);

  // A buffer too small for all ids is filled, never overrun.
  std::array<std::uint32_t, 3> small{7, 7, 7};
  ASSERT_TRUE(processes.EnumProcesses(small.data(), 8, returned));
  EXPECT_LE(returned, 8u);
  EXPECT_EQ(small[2], 7u);

  const Handle process = processes.OpenProcess(kProcessQueryInformation | kProcessVmRead, false, GetCurrentProcessId());
  ASSERT_NE(process, 0);
  std::array<Handle, 200 / sizeof(Handle)> modules{};
  std::uint32_t needed = 0;
  ASSERT_TRUE(processes.EnumProcessModules(process, modules.data(), 200, needed));
  EXPECT_GE(needed, sizeof(Handle) * 2);  // the program and at least ntdll
  EXPECT_EQ(modules[0], reinterpret_cast<Handle>(GetModuleHandleW(nullptr)));

  std::string buffer(500, '\0');
  bool cut = true;
  const std::uint32_t length = processes.GetModuleFileNameExA(process, modules[0], buffer, 500, cut);
  EXPECT_EQ(buffer.substr(0, length), OwnPath());
  EXPECT_FALSE(cut);
  // Room for 5 characters: asked again with more room until the whole path
  // fits; nothing beyond it is touched.
  std::string short_buffer(500, 'x');
  cut = true;
  const std::uint32_t short_length = processes.GetModuleFileNameExA(process, modules[0], short_buffer, 5, cut);
  EXPECT_EQ(short_buffer.substr(0, short_length), OwnPath());
  EXPECT_FALSE(cut);
  EXPECT_EQ(short_buffer.find_first_not_of('x', short_length), std::string::npos);
  EXPECT_FALSE(processes.RunsFile(process, Upper(OwnPath()) + "X", OwnPath())) << "matching is by path only";
  EXPECT_TRUE(processes.CloseHandle(process));

  EXPECT_EQ(processes.OpenProcess(kProcessQueryInformation, false, 0xFFFFFFF0u), 0);
}

TEST(Win32Processes, ScanFindsThisProcessWindowByItsOwnPath) {
  Win32Processes processes;
  Win32Windows windows;
  Win32MessagePump pump;
  Platform platform;
  platform.processes = &processes;
  platform.windows = &windows;
  platform.message_pump = &pump;
  platform.serial = NextPlatformSerial();
  const ScopedPlatform scoped(platform);

  const WindowHandle window = windows.CreateHiddenWindow();
  // Other case, surrounding spaces: the scan's own rules, on real data.
  const WindowList found = modProcessHandler::FindProcessWindows("  " + Upper(OwnPath()) + " ");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1], 0);
  // The first top-level window of this process in Z-order without an owner.
  std::uint32_t owner = 0;
  EXPECT_NE(found[0], 0);
  windows.GetWindowThreadProcessId(found[0], owner);
  EXPECT_EQ(owner, GetCurrentProcessId());
  EXPECT_EQ(windows.GetParent(found[0]), 0);
  EXPECT_TRUE(IsWindow(HwndConversion::ToHwnd(window)));

  EXPECT_EQ(modProcessHandler::FindProcessWindows(OwnPath() + ".missing"), WindowList{0});
}

}  // namespace
}  // namespace vesk::platform::win32
