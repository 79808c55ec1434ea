#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

#include "com/ComError.h"
#include "com/ComIds.h"
#include "com/ComInterfaces.h"
#include "com/ComPtr.h"
#include "com/TypeLibrary.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "host/IPlugIn.h"
#include "platform/win32/Utf16.h"

namespace vesk::com {

// What every COM class of this library serves the host through: IPlugIn's
// MethodCall over the library's own IPlugIn object, late binding through
// IDispatch described by IPlugIn's type information (for IPlugIn and for
// the class's default interface `Default`, a dual interface without members
// of its own), and ISupportErrorInfo for IPlugIn. The class supplies
// IUnknown and the object its requests go to.
template <class Default>
class PlugInServer : public Default, public IPlugInCom, public ISupportErrorInfo {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return TypeInfo(info);
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ComPtr<ITypeInfo> info;
    const HRESULT hr = TypeInfo(info.put());
    return FAILED(hr) ? hr : DispGetIDsOfNames(info.get(), names, count, ids);
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* arg_error) override {
    ComPtr<ITypeInfo> info;
    const HRESULT hr = TypeInfo(info.put());
    if (FAILED(hr)) return hr;
    return DispInvoke(static_cast<IPlugInCom*>(this), info.get(), id, flags, params, result, exception, arg_error);
  }

  // Runs one request; a failure becomes MAKE_HRESULT(SEVERITY_ERROR,
  // FACILITY_CONTROL, number) with source and description as error
  // information. No exception crosses this boundary.
  HRESULT STDMETHODCALLTYPE MethodCall(BSTR args, BSTR* reply) override {
    using platform::win32::Utf16;
    if (reply == nullptr) return E_POINTER;
    *reply = nullptr;
    SetErrorInfo(0, nullptr);
    try {
      const std::wstring_view wide_args(args != nullptr ? args : L"", SysStringLen(args));
      const std::wstring answer = Utf16::FromUtf8(Target().MethodCall(Utf16::ToUtf8(wide_args)));
      *reply = SysAllocStringLen(answer.data(), static_cast<UINT>(answer.size()));
      if (*reply == nullptr) throw Failure(errors::kOutOfMemory, source_, "Out of memory");
      return S_OK;
    } catch (...) {
      return ComError::FromCurrentException(kIID_IPlugIn);
    }
  }

  // True for IPlugIn, the interface that sets error information.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, kIID_IPlugIn) ? S_OK : S_FALSE;
  }

 protected:
  // `source` names the class in failures raised here.
  explicit PlugInServer(const char* source) noexcept : source_(source) {}
  virtual ~PlugInServer() = default;

  // The object that serves the requests.
  virtual IPlugIn& Target() = 0;

 private:
  // IPlugIn's type information from the type library in this DLL, loaded
  // on first use and kept.
  HRESULT TypeInfo(ITypeInfo** info) {
    if (!type_info_) {
      const HRESULT hr = TypeLibrary::InterfaceInfo(kIID_IPlugIn, type_info_.put());
      if (FAILED(hr)) return hr;
    }
    type_info_->AddRef();
    *info = type_info_.get();
    return S_OK;
  }

  const char* source_;
  ComPtr<ITypeInfo> type_info_;
};

}  // namespace vesk::com
