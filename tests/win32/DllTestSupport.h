#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

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

}  // namespace vesk::test
