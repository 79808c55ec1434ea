#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace vesk::test {

// The registry views of this width and of the other width, named explicitly.
inline constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
inline constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

inline bool KeyIn(HKEY root, const std::wstring& key, REGSAM view = 0) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// Creates `key` in `view` and sets its string value `name` (nullptr: the default).
inline LSTATUS WriteIn(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value,
                       REGSAM view = 0, DWORD options = REG_OPTION_NON_VOLATILE) {
  HKEY opened = nullptr;
  LSTATUS status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, options, KEY_ALL_ACCESS | view, nullptr, &opened,
                                   nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (name != nullptr || !value.empty()) {
    status = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(opened);
  return status;
}

// Removes `key` and everything below it from `view`.
inline void DeleteIn(HKEY root, const std::wstring& key, REGSAM view = 0) {
  const size_t split = key.find_last_of(L'\\');
  HKEY parent = nullptr;
  if (RegOpenKeyExW(root, key.substr(0, split).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS) return;
  RegDeleteTreeW(parent, key.substr(split + 1).c_str());
  RegCloseKey(parent);
}

// Every subkey and value below `key` with its type and bytes, keyed by the
// relative path ("sub\key\" for a key, "sub\key\|name" for a value); empty
// when the key is missing. Two equal snapshots are equal byte for byte.
using Snapshot = std::map<std::wstring, std::vector<BYTE>>;
inline void AddToSnapshot(HKEY key, const std::wstring& path, Snapshot& out) {
  out[path + L"\\"] = {};
  wchar_t name[256];
  std::vector<BYTE> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD name_length = 256;
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, i, name, &name_length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> entry(data.begin(), data.begin() + size);
    entry.insert(entry.begin(), static_cast<BYTE>(type));
    out[path + L"\\|" + name] = entry;
  }
  for (DWORD i = 0;; ++i) {
    DWORD name_length = 256;
    if (RegEnumKeyExW(key, i, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    AddToSnapshot(sub, path + L"\\" + name, out);
    RegCloseKey(sub);
  }
}
inline Snapshot TakeSnapshot(HKEY root, const std::wstring& key, REGSAM view = 0) {
  Snapshot out;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return out;
  AddToSnapshot(opened, L"", out);
  RegCloseKey(opened);
  return out;
}

}  // namespace vesk::test
