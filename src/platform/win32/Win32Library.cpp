#include "platform/win32/Win32Library.h"

#include <mutex>
#include <string>
#include <vector>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/UniqueResource.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Error.h"

namespace vesk::platform::win32 {
namespace {

struct Loaded {
  std::wstring name;
  UniqueModule module;
};

struct Table {
  std::mutex mutex;
  std::vector<Loaded> libraries;
};

Table& TheTable() {
  static Table table;
  return table;
}

}  // namespace

HMODULE Win32Library::Load(const wchar_t* name) {
  Table& table = TheTable();
  const std::lock_guard<std::mutex> lock(table.mutex);
  for (const Loaded& loaded : table.libraries) {
    if (loaded.name == name) return loaded.module.get();
  }
  UniqueModule module(LoadLibraryW(name));
  if (!module) {
    const DWORD error = GetLastError();
    throw Failure(errors::kLibraryNotLoaded, "Win32Library",
                  "Cannot load library " + Utf16::ToUtf8(name) + ": " + Win32Error::Text(error));
  }
  const HMODULE handle = module.get();
  table.libraries.push_back(Loaded{name, std::move(module)});
  return handle;
}

FARPROC Win32Library::Find(const wchar_t* name, const char* entry) {
  const FARPROC address = GetProcAddress(Load(name), entry);
  if (address == nullptr) {
    throw Failure(errors::kEntryPointNotFound, "Win32Library",
                  std::string("Entry point ") + entry + " not found in " + Utf16::ToUtf8(name));
  }
  return address;
}

void Win32Library::KeepAlive() { TheTable(); }

}  // namespace vesk::platform::win32
