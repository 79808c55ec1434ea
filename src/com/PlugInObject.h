#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

#include "com/ComInterfaces.h"
#include "com/ComPtr.h"
#include "dispatch/plugin.h"

namespace vesk::com {

// The COM class PlugIn: the entry object `plugin` behind IPlugIn, with the
// default interface _PlugIn, IDispatch (described by IPlugIn's type
// information, so late-bound callers reach MethodCall) and ISupportErrorInfo.
class PlugInObject final : public PlugInDefault, public IPlugInCom, public ISupportErrorInfo {
 public:
  // Creates an object and asks it for `iid` (the class table's create function).
  static HRESULT Create(REFIID iid, void** out) noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* arg_error) override;

  // Runs one request; a failure becomes MAKE_HRESULT(SEVERITY_ERROR,
  // FACILITY_CONTROL, number) with source and description as error information.
  HRESULT STDMETHODCALLTYPE MethodCall(BSTR args, BSTR* reply) override;

  // True for IPlugIn, the interface that sets error information.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

 private:
  PlugInObject() noexcept;
  ~PlugInObject();
  // IPlugIn's type information from the type library in this DLL.
  HRESULT TypeInfo(ITypeInfo** info);

  std::atomic<ULONG> references_{1};
  plugin plugin_;
  ComPtr<ITypeInfo> type_info_;
};

}  // namespace vesk::com
