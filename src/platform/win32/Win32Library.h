#pragma once

#include <windows.h>

namespace vesk::platform::win32 {

// The system libraries the backend binds functions from. Each is loaded on
// first use and kept until the library is unloaded.
class Win32Library {
 public:
  // The loaded library `name`; fails with 48 (errors::kLibraryNotLoaded).
  static HMODULE Load(const wchar_t* name);
  // The entry point `entry` of the library `name`, loading it if needed;
  // fails with 48 for the library or 453 (errors::kEntryPointNotFound).
  static FARPROC Find(const wchar_t* name, const char* entry);
  // Makes sure the table of loaded libraries exists. Objects that bind
  // functions in their destructors call this first, so that the table
  // outlives them.
  static void KeepAlive();
};

}  // namespace vesk::platform::win32
