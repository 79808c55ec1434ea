#include "platform/win32/LazyFunction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk::platform::win32 {
namespace {

int FailureNumber(auto&& call) {
  try {
    call();
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.source(), "Win32Library");
    return failure.number();
  }
  return 0;
}

TEST(LazyFunction, BindsOnFirstCallAndCallsThrough) {
  LazyFunction<decltype(GetCurrentProcessId)> get_id(L"kernel32.dll", "GetCurrentProcessId");
  EXPECT_EQ(get_id(), GetCurrentProcessId());
  EXPECT_EQ(get_id(), GetCurrentProcessId());  // the cached binding
}

TEST(LazyFunction, MissingLibraryOrEntryFailsTheCallThatNeedsIt) {
  LazyFunction<decltype(GetCurrentProcessId)> no_library(L"vesk-no-such-library.dll", "GetCurrentProcessId");
  LazyFunction<decltype(GetCurrentProcessId)> no_entry(L"kernel32.dll", "VeskNoSuchEntryPoint");
  EXPECT_EQ(FailureNumber([&] { no_library(); }), errors::kLibraryNotLoaded);
  EXPECT_EQ(FailureNumber([&] { no_entry(); }), errors::kEntryPointNotFound);
  // A failed binding is not cached: it fails again, the same way.
  EXPECT_EQ(FailureNumber([&] { no_entry(); }), errors::kEntryPointNotFound);
  EXPECT_EQ(FailureNumber([&] { no_library(); }), errors::kLibraryNotLoaded);
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, length);
}

// Libraries come from the system folder, whatever lies beside the program.
TEST(Win32Library, LoadsFromTheSystemFolderOnly) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  ASSERT_GT(length, 0u);
  for (const wchar_t* name : {L"comdlg32.dll", L"psapi.dll", L"shell32.dll", L"user32.dll", L"kernel32.dll"}) {
    const std::wstring path = ModulePath(Win32Library::Load(name));
    EXPECT_EQ(_wcsnicmp(path.c_str(), folder, length), 0) << std::filesystem::path(path).string();
    EXPECT_EQ(Win32Library::Load(name), Win32Library::Load(name));
    EXPECT_EQ(_wcsicmp(Win32Library::SystemPath(name).c_str(), (std::wstring(folder) + L"\\" + name).c_str()), 0);
  }
  // A library planted in the program's folder: the search order finds it, the backend does not.
  const std::filesystem::path program(ModulePath(nullptr));
  const std::filesystem::path planted = program.parent_path() / L"vesk-planted.dll";
  std::filesystem::copy_file(program, planted, std::filesystem::copy_options::overwrite_existing);
  const HMODULE found = LoadLibraryW(L"vesk-planted.dll");
  EXPECT_NE(found, nullptr);
  if (found != nullptr) FreeLibrary(found);
  EXPECT_EQ(FailureNumber([] { Win32Library::Load(L"vesk-planted.dll"); }), errors::kLibraryNotLoaded);
  std::filesystem::remove(planted);
}

}  // namespace
}  // namespace vesk::platform::win32
