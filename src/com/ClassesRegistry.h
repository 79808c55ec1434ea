#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "com/ComOwners.h"

namespace vesk::com {

// The keys under `root`\Software\Classes as registration sees them. Reads and
// deletions name a registry view (0 for this process's own,
// KEY_WOW64_32KEY or KEY_WOW64_64KEY for the other width's); every key is
// opened with its view flag, so a 32-bit process on 64-bit Windows works in
// the view it means. Writes go to the own view and are remembered, so that
// Rollback undoes exactly this run's writes, in that view: the keys it
// created go, the values it replaced come back.
class ClassesRegistry {
 public:
  // The views of this process's width and of the other width, named explicitly.
  static constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  static constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

  explicit ClassesRegistry(HKEY root) noexcept : root_(root) {}
  ClassesRegistry(const ClassesRegistry&) = delete;
  ClassesRegistry& operator=(const ClassesRegistry&) = delete;

  bool Exists(const std::wstring& key, REGSAM view = 0) const;
  // True when `key` exists and has at least one subkey.
  bool HasSubkeys(const std::wstring& key, REGSAM view = 0) const;
  // The string value `name` (the default value for nullptr), if present.
  std::optional<std::wstring> Read(const std::wstring& key, const wchar_t* name, REGSAM view = 0) const;

  // Creates `key` (level by level) and sets its string value `name`.
  LSTATUS Write(const std::wstring& key, const wchar_t* name, const std::wstring& value);
  // Undoes every Write of this object, latest first.
  void Rollback() noexcept;

  // Removes `key` with everything below it; a missing key is fine.
  LSTATUS DeleteTree(const std::wstring& key, REGSAM view = 0) const;
  // Removes `key` when it has no subkeys left; otherwise, or when missing, leaves it.
  LSTATUS DeleteIfEmpty(const std::wstring& key, REGSAM view = 0) const;

 private:
  struct ReplacedValue {
    std::wstring key;
    std::optional<std::wstring> name;
    bool existed;
    DWORD type;
    std::vector<BYTE> data;
  };

  LSTATUS Open(const std::wstring& key, REGSAM access, REGSAM view, UniqueRegKey& out) const;
  bool CreatedHere(const std::wstring& key) const;

  HKEY root_;
  std::vector<std::wstring> created_;  // in creation order, parents first
  std::vector<ReplacedValue> replaced_;
};

}  // namespace vesk::com
