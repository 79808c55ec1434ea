#include "com/PlugInObject.h"

#include <new>
#include <string>

#include "com/ComError.h"
#include "com/ComIds.h"
#include "com/ComModule.h"
#include "com/TypeLibrary.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/Utf16.h"

namespace vesk::com {

using platform::win32::Utf16;

HRESULT PlugInObject::Create(REFIID iid, void** out) noexcept {
  auto* object = new (std::nothrow) PlugInObject();
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

PlugInObject::PlugInObject() noexcept { ComModule::ObjectCreated(); }
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

HRESULT PlugInObject::TypeInfo(ITypeInfo** info) {
  if (!type_info_) {
    const HRESULT hr = TypeLibrary::InterfaceInfo(kIID_IPlugIn, type_info_.put());
    if (FAILED(hr)) return hr;
  }
  type_info_->AddRef();
  *info = type_info_.get();
  return S_OK;
}

HRESULT PlugInObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT PlugInObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return TypeInfo(info);
}

HRESULT PlugInObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  ComPtr<ITypeInfo> info;
  const HRESULT hr = TypeInfo(info.put());
  return FAILED(hr) ? hr : DispGetIDsOfNames(info.get(), names, count, ids);
}

HRESULT PlugInObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* arg_error) {
  ComPtr<ITypeInfo> info;
  const HRESULT hr = TypeInfo(info.put());
  if (FAILED(hr)) return hr;
  return DispInvoke(static_cast<IPlugInCom*>(this), info.get(), id, flags, params, result, exception, arg_error);
}

HRESULT PlugInObject::MethodCall(BSTR args, BSTR* reply) {
  if (reply == nullptr) return E_POINTER;
  *reply = nullptr;
  SetErrorInfo(0, nullptr);
  try {
    const std::wstring_view wide_args(args != nullptr ? args : L"", SysStringLen(args));
    const std::wstring answer = Utf16::FromUtf8(plugin_.MethodCall(Utf16::ToUtf8(wide_args)));
    *reply = SysAllocStringLen(answer.data(), static_cast<UINT>(answer.size()));
    if (*reply == nullptr) throw Failure(errors::kOutOfMemory, "plugin", "Out of memory");
    return S_OK;
  } catch (...) {
    return ComError::FromCurrentException(kIID_IPlugIn);
  }
}

HRESULT PlugInObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, kIID_IPlugIn) ? S_OK : S_FALSE;
}

}  // namespace vesk::com
