#include "com/PlugInObject.h"

#include <new>

#include "com/ComModule.h"

namespace vesk::com {

HRESULT PlugInObject::Create(REFIID iid, void** out) noexcept {
  auto* object = new (std::nothrow) PlugInObject();
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

PlugInObject::PlugInObject() noexcept : PlugInServer("plugin") { ComModule::ObjectCreated(); }
PlugInObject::~PlugInObject() { ComModule::ObjectDestroyed(); }

HRESULT PlugInObject::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kIID_PlugInDefault)) {
    *out = static_cast<PlugInDefault*>(this);
  } else if (IsEqualIID(iid, kIID_IPlugIn)) {
    *out = static_cast<IPlugInCom*>(this);
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *out = static_cast<ISupportErrorInfo*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG PlugInObject::AddRef() { return ++references_; }

ULONG PlugInObject::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

}  // namespace vesk::com
