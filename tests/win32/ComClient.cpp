// A client of one width, run as a separate process by the registration tests
// (the other width's client cannot live in the test's own process):
//   vesk_com_client probe                      returns 0 (the program runs here)
//   vesk_com_client register|unregister machine|user DLL
//                                              calls the DLL's entry point
//   vesk_com_client call                       creates the plug-in by ProgID and
//                                              asks StartProgram for its name
// Exit code 0 on success; otherwise the failing HRESULT is printed.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "DllTestSupport.h"
#include "com/ComIds.h"
#include "com/ComInterfaces.h"

namespace {

int Fail(const char* what, HRESULT hr) {
  std::printf("vesk_com_client: %s failed with 0x%08lX\n", what, static_cast<unsigned long>(hr));
  return 1;
}

int Register(bool install, const wchar_t* scope, const wchar_t* dll) {
  const HMODULE module = LoadLibraryW(dll);
  if (module == nullptr) return Fail("LoadLibrary", HRESULT_FROM_WIN32(GetLastError()));
  HRESULT hr = E_INVALIDARG;
  if (std::wcscmp(scope, L"user") == 0) {
    using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    hr = vesk::test::Export<InstallFn>(module, "DllInstall")(install, L"user");
  } else if (std::wcscmp(scope, L"machine") == 0) {
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    hr = vesk::test::Export<RegisterFn>(module, install ? "DllRegisterServer" : "DllUnregisterServer")();
  }
  FreeLibrary(module);
  return hr == S_OK ? 0 : Fail(install ? "registration" : "unregistration", hr);
}

int Call() {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(L"VeskProgramManager.PlugIn", &clsid);
  if (FAILED(hr)) return Fail("CLSIDFromProgID", hr);
  vesk::com::IPlugInCom* plugin = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, vesk::com::kIID_IPlugIn, reinterpret_cast<void**>(&plugin));
  if (FAILED(hr)) return Fail("CoCreateInstance", hr);
  BSTR request = SysAllocString(
      L"<request><plugin>StartProgram</plugin><method>GetName</method><params/></request>");
  BSTR reply = nullptr;
  hr = plugin->MethodCall(request, &reply);
  const std::wstring text = reply != nullptr ? std::wstring(reply, SysStringLen(reply)) : L"";
  SysFreeString(request);
  SysFreeString(reply);
  plugin->Release();
  if (FAILED(hr)) return Fail("MethodCall", hr);
  if (text != L"<result><name>Start program plug-in</name></result>") return Fail("the reply", E_UNEXPECTED);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"probe") return 0;
  if ((command == L"register" || command == L"unregister") && argc == 4) {
    return Register(command == L"register", argv[2], argv[3]);
  }
  if (command == L"call") {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("CoInitializeEx", E_FAIL);
    const int result = Call();
    CoUninitialize();
    return result;
  }
  std::printf("vesk_com_client: unknown command\n");
  return 2;
}
