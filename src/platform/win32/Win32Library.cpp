#include "platform/win32/Win32Library.h"

#include <cwchar>
#include <string>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Error.h"

namespace vesk::platform::win32 {
namespace {

// The libraries loaded so far. Trivially destructible on purpose: nothing of
// it runs when the library unloads, and the modules stay loaded.
struct Loaded {
  wchar_t name[32];
  HMODULE module;
};
struct Table {
  SRWLOCK lock;
  Loaded libraries[16];
  std::size_t count;
};
Table g_table{SRWLOCK_INIT, {}, 0};

HMODULE Cached(const wchar_t* name) {
  for (std::size_t i = 0; i < g_table.count; ++i) {
    if (std::wcscmp(g_table.libraries[i].name, name) == 0) return g_table.libraries[i].module;
  }
  return nullptr;
}

[[noreturn]] void NotLoaded(const wchar_t* name, DWORD error) {
  throw Failure(errors::kLibraryNotLoaded, "Win32Library",
                "Cannot load library " + Utf16::ToUtf8(name) + ": " + Win32Error::Text(error));
}

// Loads `name` from the system folder, never through the search order (a
// library planted beside the host or in its current folder must not load).
HMODULE LoadFromSystemFolder(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    // Windows without the flag (Windows 7 before KB2533623): the full path.
    module = LoadLibraryExW(Win32Library::SystemPath(name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  if (module == nullptr) NotLoaded(name, GetLastError());
  return module;
}

}  // namespace

std::wstring Win32Library::SystemPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) NotLoaded(name, GetLastError());
  return std::wstring(folder, length) + L"\\" + name;
}

HMODULE Win32Library::Load(const wchar_t* name) {
  AcquireSRWLockShared(&g_table.lock);
  HMODULE module = Cached(name);
  ReleaseSRWLockShared(&g_table.lock);
  if (module != nullptr) return module;
  module = LoadFromSystemFolder(name);
  AcquireSRWLockExclusive(&g_table.lock);
  // A name too long for the table, or a full table, is simply loaded again
  // next time: the system counts the references.
  if (Cached(name) == nullptr && std::wcslen(name) < 32 && g_table.count < 16) {
    Loaded& entry = g_table.libraries[g_table.count++];
    std::wcscpy(entry.name, name);
    entry.module = module;
  }
  ReleaseSRWLockExclusive(&g_table.lock);
  return module;
}

FARPROC Win32Library::Find(const wchar_t* name, const char* entry) {
  const FARPROC address = GetProcAddress(Load(name), entry);
  if (address == nullptr) {
    throw Failure(errors::kEntryPointNotFound, "Win32Library",
                  std::string("Entry point ") + entry + " not found in " + Utf16::ToUtf8(name));
  }
  return address;
}

}  // namespace vesk::platform::win32
