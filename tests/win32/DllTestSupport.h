#pragma once

#include <windows.h>
#include <oleauto.h>

#include <filesystem>
#include <string>
#include <utility>

#include "com/ComIds.h"
#include "com/ComInterfaces.h"

namespace vesk::test {

// The exported function `name` of `module`, as type Fn (null when missing).
template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The string value `name` (the default value for null) of a key under
// HKEY_CURRENT_USER, or "<missing>".
inline std::wstring UserRegistryValue(const std::wstring& key, const wchar_t* name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  return data;
}

// The DLL under test: it sits in the build root, one folder above the test programs.
inline std::wstring DllPath() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  return (std::filesystem::path(exe).parent_path().parent_path() / L"VeskProgramManager.dll").wstring();
}

// The plug-in created through `dll`'s class object, as COM does it (null on failure).
inline com::IPlugInCom* CreatePlugIn(HMODULE dll) {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  IClassFactory* factory = nullptr;
  if (FAILED(Export<GetClassObjectFn>(dll, "DllGetClassObject")(com::kCLSID_PlugIn, IID_IClassFactory,
                                                                 reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  com::IPlugInCom* plugin = nullptr;
  factory->CreateInstance(nullptr, com::kIID_IPlugIn, reinterpret_cast<void**>(&plugin));
  factory->Release();
  return plugin;
}

// One MethodCall: its HRESULT and reply.
inline std::pair<HRESULT, std::wstring> Call(com::IPlugInCom* plugin, const wchar_t* request) {
  BSTR args = SysAllocString(request);
  BSTR reply = nullptr;
  const HRESULT hr = plugin->MethodCall(args, &reply);
  std::wstring text = reply != nullptr ? std::wstring(reply, SysStringLen(reply)) : L"";
  SysFreeString(args);
  SysFreeString(reply);
  return {hr, std::move(text)};
}

}  // namespace vesk::test
