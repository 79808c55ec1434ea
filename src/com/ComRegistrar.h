#pragma once

#include <windows.h>

namespace vesk::com {

// Writes and removes the library's registration under `root`\Software\Classes
// (HKEY_LOCAL_MACHINE for the machine, HKEY_CURRENT_USER for one user),
// walking the class table: the classes (InprocServer32 with the apartment
// model, ProgID, type library), their ProgIDs, the type library and its
// dual interfaces.
class ComRegistrar {
 public:
  // Registers everything; on failure removes what it wrote and returns the error.
  static HRESULT Register(HKEY root) noexcept;
  // Removes every key Register writes; keys that are already gone are fine.
  static HRESULT Unregister(HKEY root) noexcept;
};

}  // namespace vesk::com
