#pragma once

#include <windows.h>

#include <string>

namespace vesk::platform::win32 {

// The system libraries the backend binds functions from. Each is loaded from
// the system folder only, on first use, and never freed: freeing it would
// fall to DLL_PROCESS_DETACH, where the loader lock forbids it.
class Win32Library {
 public:
  // The loaded library `name`; fails with 48 (errors::kLibraryNotLoaded).
  static HMODULE Load(const wchar_t* name);
  // The entry point `entry` of the library `name`, loading it if needed;
  // fails with 48 for the library or 453 (errors::kEntryPointNotFound).
  static FARPROC Find(const wchar_t* name, const char* entry);
  // The full path of `name` in the system folder; fails with 48.
  static std::wstring SystemPath(const wchar_t* name);
};

}  // namespace vesk::platform::win32
