#include "com/ComRegistrar.h"

#include <olectl.h>

#include <string>
#include <vector>

#include "com/ComClass.h"
#include "com/ComIds.h"
#include "com/ComModule.h"
#include "com/ComOwners.h"
#include "com/PanelControl.h"

namespace vesk::com {
namespace {

constexpr const wchar_t* kClasses = L"Software\\Classes\\";
// The system's marshaler for automation interfaces.
constexpr const wchar_t* kAutomationMarshaler = L"{00020424-0000-0000-C000-000000000046}";
constexpr const wchar_t* kVersion = L"1.0";

std::wstring Text(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

struct DualInterface {
  const GUID* iid;
  std::wstring name;
};

// The dual interfaces described by the type library: IPlugIn and the
// classes' default interfaces.
std::vector<DualInterface> DualInterfaces() {
  std::vector<DualInterface> interfaces{{&kIID_IPlugIn, L"IPlugIn"}};
  for (const ComClass& row : ComClasses()) interfaces.push_back({row.default_iid, std::wstring(L"_") + row.name});
  return interfaces;
}

// The top keys Register creates; removing them removes everything.
std::vector<std::wstring> TopKeys() {
  std::vector<std::wstring> keys;
  for (const ComClass& row : ComClasses()) {
    keys.push_back(L"CLSID\\" + Text(*row.clsid));
    keys.push_back(row.prog_id);
  }
  keys.push_back(L"TypeLib\\" + Text(kLIBID_VeskProgramManager));
  for (const DualInterface& dual : DualInterfaces()) keys.push_back(L"Interface\\" + Text(*dual.iid));
  return keys;
}

// Creates `key` under root\Software\Classes and sets its value `name`
// (the default value for nullptr) to `value`.
LSTATUS Set(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  UniqueRegKey opened;
  HKEY raw = nullptr;
  LSTATUS status = RegCreateKeyExW(root, (kClasses + key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE, nullptr, &raw, nullptr);
  if (status != ERROR_SUCCESS) return status;
  opened.reset(raw);
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}

LSTATUS WriteAll(HKEY root) {
  const std::wstring path = ComModule::Path();
  const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
  const std::wstring libid = Text(kLIBID_VeskProgramManager);
  std::vector<std::pair<std::wstring, std::pair<const wchar_t*, std::wstring>>> values;
  auto add = [&](std::wstring key, const wchar_t* name, std::wstring value) {
    values.push_back({std::move(key), {name, std::move(value)}});
  };
  for (const ComClass& row : ComClasses()) {
    const std::wstring key = L"CLSID\\" + Text(*row.clsid);
    add(key, nullptr, row.prog_id);
    add(key + L"\\InprocServer32", nullptr, path);
    add(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    add(key + L"\\ProgID", nullptr, row.prog_id);
    add(key + L"\\TypeLib", nullptr, libid);
    add(key + L"\\Version", nullptr, kVersion);
    add(key + L"\\Programmable", nullptr, L"");
    if (row.is_control) {
      add(key + L"\\Control", nullptr, L"");
      add(key + L"\\ToolboxBitmap32", nullptr, path + L"," + std::to_wstring(row.toolbox_bitmap));
      add(key + L"\\MiscStatus", nullptr, L"0");
      add(key + L"\\MiscStatus\\1", nullptr, std::to_wstring(PanelControl::kMiscStatus));
    }
    add(row.prog_id, nullptr, row.name);
    add(std::wstring(row.prog_id) + L"\\CLSID", nullptr, Text(*row.clsid));
  }
  const std::wstring typelib = L"TypeLib\\" + libid + L"\\" + kVersion;
  add(typelib, nullptr, L"VeskProgramManager");
  add(typelib + (sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32"), nullptr, path);
  add(typelib + L"\\FLAGS", nullptr, L"0");
  add(typelib + L"\\HELPDIR", nullptr, folder);
  for (const DualInterface& dual : DualInterfaces()) {
    const std::wstring key = L"Interface\\" + Text(*dual.iid);
    add(key, nullptr, dual.name);
    add(key + L"\\ProxyStubClsid32", nullptr, kAutomationMarshaler);
    add(key + L"\\ProxyStubClsid", nullptr, kAutomationMarshaler);
    add(key + L"\\TypeLib", nullptr, libid);
    add(key + L"\\TypeLib", L"Version", kVersion);
  }
  for (const auto& [key, value] : values) {
    const LSTATUS status = Set(root, key, value.first, value.second);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

HRESULT ComRegistrar::Register(HKEY root) noexcept {
  try {
    const LSTATUS status = WriteAll(root);
    if (status == ERROR_SUCCESS) return S_OK;
    Unregister(root);
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
  } catch (...) {
    Unregister(root);
    return SELFREG_E_CLASS;
  }
}

HRESULT ComRegistrar::Unregister(HKEY root) noexcept {
  try {
    HRESULT result = S_OK;
    for (const std::wstring& key : TopKeys()) {
      const LSTATUS status = RegDeleteTreeW(root, (kClasses + key).c_str());
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        result = HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
      }
    }
    return result;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace vesk::com
