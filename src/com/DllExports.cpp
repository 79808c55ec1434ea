// The entry points of the in-process server.
#include <windows.h>

#include "com/ComClass.h"
#include "com/ComClassFactory.h"
#include "com/ComModule.h"
#include "com/ComRegistrar.h"

extern "C" {

// Each entry point that does work pins the DLL first (ComModule::Pin):
// registration runs as much of the runtime as a request does. Only
// DllCanUnloadNow does not, so a DLL that was loaded and never used still
// unloads.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  vesk::com::ComModule::Pin();
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  const vesk::com::ComClass* row = vesk::com::FindComClass(clsid);
  if (row == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return vesk::com::ComClassFactory::Create(*row, iid, out);
}

STDAPI DllCanUnloadNow() { return vesk::com::ComModule::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  vesk::com::ComModule::Pin();
  return vesk::com::ComRegistrar::Register(HKEY_LOCAL_MACHINE);
}

STDAPI DllUnregisterServer() {
  vesk::com::ComModule::Pin();
  return vesk::com::ComRegistrar::Unregister(HKEY_LOCAL_MACHINE);
}

// regsvr32 /i:user (with /n: without the machine registration) registers for
// the calling user only, under HKEY_CURRENT_USER, without administrator
// rights; /i:machine, or no command line, registers for the machine. Any
// other command line is refused before the registry is touched.
STDAPI DllInstall(BOOL install, LPCWSTR command_line) {
  vesk::com::ComModule::Pin();
  auto is = [command_line](const wchar_t* word) {
    return CompareStringOrdinal(command_line, -1, word, -1, TRUE) == CSTR_EQUAL;
  };
  HKEY root = HKEY_LOCAL_MACHINE;
  if (command_line != nullptr && *command_line != L'\0') {
    if (is(L"user")) {
      root = HKEY_CURRENT_USER;
    } else if (!is(L"machine")) {
      return E_INVALIDARG;
    }
  }
  return install ? vesk::com::ComRegistrar::Register(root) : vesk::com::ComRegistrar::Unregister(root);
}

}  // extern "C"
