#pragma once

#include <windows.h>

namespace vesk::com {

// Writes and removes the library's registration under `root`\Software\Classes
// (HKEY_LOCAL_MACHINE for the machine, HKEY_CURRENT_USER for one user),
// walking the class table: the classes (InprocServer32 with the apartment
// model, ProgID, type library), their ProgIDs, the type library and its
// dual interfaces.
//
// The 32-bit and the 64-bit DLL may both be registered under one root. Each
// width owns its class keys (kept per registry view by Windows) and its
// own platform entry of the type library (win32 or win64). The keys whose
// content is the same for both widths (ProgIDs, the type library, interface
// keys) are shared: they stay while any platform entry of the type library
// remains, and the last unregistration removes them from both views.
// An interface key that names another type library (IPlugIn as its host
// registered it) is never written or removed; a per-user registration also
// writes none over such a key of the machine, which it would shadow.
// Failures: a registry error as HRESULT_FROM_WIN32, no memory as
// E_OUTOFMEMORY, anything else as SELFREG_E_CLASS.
class ComRegistrar {
 public:
  // Registers everything; on failure undoes exactly this run's writes and
  // returns the error.
  static HRESULT Register(HKEY root) noexcept;
  // Removes what this DLL owns; keys that are already gone are fine. This
  // width's class and platform entry are this DLL's when they name the same
  // file (volume and file index, whatever the path's spelling); when one
  // names another file, present or missing, nothing is removed and the
  // result is HRESULT_FROM_WIN32(ERROR_ALREADY_REGISTERED).
  static HRESULT Unregister(HKEY root) noexcept;
};

}  // namespace vesk::com
