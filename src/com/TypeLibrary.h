#pragma once

#include <windows.h>
#include <oaidl.h>

namespace vesk::com {

// The type library embedded in this DLL (resource TYPELIB 1).
class TypeLibrary {
 public:
  // Loads it without registering anything.
  static HRESULT Load(ITypeLib** library) noexcept;
  // The vtable type information of interface `iid` (for a dual interface,
  // the interface part rather than the dispatch part).
  static HRESULT InterfaceInfo(REFIID iid, ITypeInfo** info) noexcept;
};

}  // namespace vesk::com
