#include "com/ComClassFactory.h"

#include <new>

#include "com/ComModule.h"

namespace vesk::com {

HRESULT ComClassFactory::Create(const ComClass& row, REFIID iid, void** out) noexcept {
  auto* factory = new (std::nothrow) ComClassFactory(row);
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

ComClassFactory::ComClassFactory(const ComClass& row) noexcept : row_(row) { ComModule::ObjectCreated(); }
ComClassFactory::~ComClassFactory() { ComModule::ObjectDestroyed(); }

HRESULT ComClassFactory::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ComClassFactory::AddRef() { return ++references_; }

ULONG ComClassFactory::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT ComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return row_.create(iid, out);
}

HRESULT ComClassFactory::LockServer(BOOL lock) {
  ComModule::Lock(lock != FALSE);
  return S_OK;
}

}  // namespace vesk::com
