#include "com/TypeLibrary.h"

#include <oleauto.h>

#include "com/ComModule.h"
#include "com/ComPtr.h"

namespace vesk::com {

HRESULT TypeLibrary::Load(ITypeLib** library) noexcept {
  try {
    return LoadTypeLibEx(ComModule::Path().c_str(), REGKIND_NONE, library);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT TypeLibrary::InterfaceInfo(REFIID iid, ITypeInfo** info) noexcept {
  *info = nullptr;
  ComPtr<ITypeLib> library;
  HRESULT hr = Load(library.put());
  if (FAILED(hr)) return hr;
  ComPtr<ITypeInfo> found;
  hr = library->GetTypeInfoOfGuid(iid, found.put());
  if (FAILED(hr)) return hr;
  TYPEATTR* attributes = nullptr;
  hr = found->GetTypeAttr(&attributes);
  if (FAILED(hr)) return hr;
  const bool dispatch_part = attributes->typekind == TKIND_DISPATCH;
  found->ReleaseTypeAttr(attributes);
  if (dispatch_part) {
    HREFTYPE interface_part = 0;
    hr = found->GetRefTypeOfImplType(static_cast<UINT>(-1), &interface_part);
    if (SUCCEEDED(hr)) hr = found->GetRefTypeInfo(interface_part, info);
    return hr;
  }
  *info = found.get();
  (*info)->AddRef();
  return S_OK;
}

}  // namespace vesk::com
