#pragma once

#include <windows.h>

#include <span>

namespace vesk::com {

// One creatable class of the library: a row of the table that the class
// factory, DllGetClassObject and the registration all walk.
struct ComClass {
  const GUID* clsid;
  const wchar_t* prog_id;      // e.g. "VeskProgramManager.PlugIn"
  const wchar_t* name;         // the class's name in the type library
  const GUID* default_iid;     // its default interface
  HRESULT (*create)(REFIID iid, void** out) noexcept;
  bool is_control;
  unsigned short toolbox_bitmap;  // a control's toolbox image, a bitmap resource of this DLL
};

// Every class that the library registers and creates.
std::span<const ComClass> ComClasses();

// The row for `clsid`, or nullptr.
const ComClass* FindComClass(REFCLSID clsid);

}  // namespace vesk::com
