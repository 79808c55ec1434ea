#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace vesk::test {

// What a call by name through IDispatch gave: the HRESULT of the lookup or
// of Invoke, and the reply text when there was one.
struct LateBoundReply {
  HRESULT hr = E_FAIL;
  std::wstring reply;
};

// Calls MethodCall(request) on `object` by name through IDispatch, as a
// late-bound host would.
inline LateBoundReply CallMethodByName(IUnknown* object, const std::wstring& request) {
  LateBoundReply out;
  IDispatch* dispatch = nullptr;
  out.hr = object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (FAILED(out.hr)) return out;
  LPOLESTR name = const_cast<LPOLESTR>(L"MethodCall");
  DISPID id = 0;
  out.hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(out.hr)) {
    VARIANT arg, result;
    VariantInit(&arg);
    VariantInit(&result);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocStringLen(request.data(), static_cast<UINT>(request.size()));
    DISPPARAMS params{&arg, nullptr, 1, 0};
    out.hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    if (SUCCEEDED(out.hr) && result.vt == VT_BSTR) out.reply.assign(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&arg);
    VariantClear(&result);
  }
  dispatch->Release();
  return out;
}

}  // namespace vesk::test
