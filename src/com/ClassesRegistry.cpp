#include "com/ClassesRegistry.h"

#include <algorithm>

namespace vesk::com {
namespace {

constexpr const wchar_t* kClasses = L"Software\\Classes";

std::wstring Full(const std::wstring& key) { return key.empty() ? kClasses : std::wstring(kClasses) + L"\\" + key; }

// 0 stands for the own view; the flag is always named.
REGSAM ViewFlag(REGSAM view) { return view == 0 ? ClassesRegistry::kOwnView : view; }

}  // namespace

LSTATUS ClassesRegistry::Open(const std::wstring& key, REGSAM access, REGSAM view, UniqueRegKey& out) const {
  HKEY raw = nullptr;
  const LSTATUS status = RegOpenKeyExW(root_, Full(key).c_str(), 0, access | ViewFlag(view), &raw);
  out.reset(status == ERROR_SUCCESS ? raw : nullptr);
  return status;
}

bool ClassesRegistry::Exists(const std::wstring& key, REGSAM view) const {
  UniqueRegKey opened;
  return Open(key, KEY_QUERY_VALUE, view, opened) == ERROR_SUCCESS;
}

bool ClassesRegistry::HasSubkeys(const std::wstring& key, REGSAM view) const {
  UniqueRegKey opened;
  if (Open(key, KEY_QUERY_VALUE, view, opened) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0;
  return RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys > 0;
}

std::optional<std::wstring> ClassesRegistry::Read(const std::wstring& key, const wchar_t* name, REGSAM view) const {
  UniqueRegKey opened;
  if (Open(key, KEY_QUERY_VALUE, view, opened) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(opened.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegQueryValueExW(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The stored text need not end in a terminator; it ends at the first one.
  text.resize(size / sizeof(wchar_t));
  if (const size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
  return text;
}

bool ClassesRegistry::CreatedHere(const std::wstring& key) const {
  return std::find(created_.begin(), created_.end(), key) != created_.end();
}

LSTATUS ClassesRegistry::Write(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  UniqueRegKey opened;
  for (size_t end = 0; end != std::wstring::npos;) {
    end = key.find(L'\\', end + 1);
    const std::wstring level = key.substr(0, end);
    HKEY raw = nullptr;
    DWORD disposition = 0;
    const LSTATUS status = RegCreateKeyExW(root_, Full(level).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_SET_VALUE | KEY_QUERY_VALUE | kOwnView, nullptr, &raw, &disposition);
    if (status != ERROR_SUCCESS) return status;
    opened.reset(raw);
    if (disposition == REG_CREATED_NEW_KEY) created_.push_back(level);
  }
  if (!CreatedHere(key)) {
    ReplacedValue old{key, name != nullptr ? std::optional<std::wstring>(name) : std::nullopt, false, 0, {}};
    DWORD size = 0;
    if (RegQueryValueExW(opened.get(), name, nullptr, &old.type, nullptr, &size) == ERROR_SUCCESS) {
      old.data.resize(size);
      old.existed = RegQueryValueExW(opened.get(), name, nullptr, &old.type, old.data.data(), &size) == ERROR_SUCCESS;
      old.data.resize(size);
    }
    replaced_.push_back(std::move(old));
  }
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}

void ClassesRegistry::Rollback() noexcept {
  for (auto value = replaced_.rbegin(); value != replaced_.rend(); ++value) {
    UniqueRegKey opened;
    if (Open(value->key, KEY_SET_VALUE, kOwnView, opened) != ERROR_SUCCESS) continue;
    const wchar_t* name = value->name ? value->name->c_str() : nullptr;
    if (value->existed) {
      RegSetValueExW(opened.get(), name, 0, value->type, value->data.data(), static_cast<DWORD>(value->data.size()));
    } else {
      RegDeleteValueW(opened.get(), name);
    }
  }
  for (auto key = created_.rbegin(); key != created_.rend(); ++key) {
    RegDeleteKeyExW(root_, Full(*key).c_str(), kOwnView, 0);
  }
  replaced_.clear();
  created_.clear();
}

LSTATUS ClassesRegistry::DeleteTree(const std::wstring& key, REGSAM view) const {
  // The parent is opened in the view; the key itself is one level below it,
  // so the deletion stays in that view.
  const size_t split = key.find_last_of(L'\\');
  const std::wstring parent = split == std::wstring::npos ? L"" : key.substr(0, split);
  const std::wstring leaf = split == std::wstring::npos ? key : key.substr(split + 1);
  UniqueRegKey opened;
  LSTATUS status = Open(parent, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE, view, opened);
  if (status == ERROR_SUCCESS) status = RegDeleteTreeW(opened.get(), leaf.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS ClassesRegistry::DeleteIfEmpty(const std::wstring& key, REGSAM view) const {
  if (!Exists(key, view) || HasSubkeys(key, view)) return ERROR_SUCCESS;
  return RegDeleteKeyExW(root_, Full(key).c_str(), ViewFlag(view), 0);
}

}  // namespace vesk::com
