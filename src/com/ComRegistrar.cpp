#include "com/ComRegistrar.h"

#include <olectl.h>

#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "com/ClassesRegistry.h"
#include "com/ComClass.h"
#include "com/ComIds.h"
#include "com/ComModule.h"
#include "com/PanelControl.h"
#include "platform/win32/UniqueResource.h"

namespace vesk::com {
namespace {

// The system's marshaler for automation interfaces.
constexpr const wchar_t* kAutomationMarshaler = L"{00020424-0000-0000-C000-000000000046}";
constexpr const wchar_t* kVersion = L"1.0";
constexpr bool kIs64Bit = sizeof(void*) == 8;
// This DLL's entry of the type library, and the other width's.
constexpr const wchar_t* kOwnPlatform = kIs64Bit ? L"win64" : L"win32";
constexpr const wchar_t* kOtherPlatform = kIs64Bit ? L"win32" : L"win64";
// Unregistration refuses: this width's registration names another file.
const HRESULT kRegisteredForAnotherFile = HRESULT_FROM_WIN32(ERROR_ALREADY_REGISTERED);

std::wstring Text(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
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

std::wstring TypeLibKey() { return L"TypeLib\\" + Text(kLIBID_VeskProgramManager); }
std::wstring TypeLibVersionKey() { return TypeLibKey() + L"\\" + kVersion; }
// The key holding every width's platform entry (win32, win64).
std::wstring PlatformsKey() { return TypeLibVersionKey() + L"\\0"; }

// True when interface key `key` is absent from `view` or names our type library.
bool InterfaceIsOurs(const ClassesRegistry& registry, const std::wstring& key, REGSAM view) {
  if (!registry.Exists(key, view)) return true;
  const auto library = registry.Read(key + L"\\TypeLib", nullptr, view);
  return library && SameText(*library, Text(kLIBID_VeskProgramManager));
}

// The volume and index that tell one file from every other, whatever the
// path that names it (a short name, a substituted drive, a link).
struct FileIdentity {
  DWORD volume;
  DWORD index_high;
  DWORD index_low;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
  const platform::win32::UniqueHandle file(CreateFileW(path.c_str(), 0,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// A file named by a path, with its identity when it can be opened (read once).
struct NamedFile {
  explicit NamedFile(std::wstring name) : path(std::move(name)), identity(IdentityOf(path)) {}
  // True when `other` is the same file; when either cannot be opened, only
  // when the paths are the same text.
  bool Is(const NamedFile& other) const {
    if (identity && other.identity) return *identity == *other.identity;
    return SameText(path, other.path);
  }
  std::wstring path;
  std::optional<FileIdentity> identity;
};

// What this width's registration in the own view names.
struct OwnRegistration {
  std::vector<std::wstring> keys;       // the keys that name this DLL
  std::optional<std::wstring> another;  // the path of another file, when one is named
};

OwnRegistration FindOwnRegistration(const ClassesRegistry& registry) {
  const NamedFile self(ComModule::Path());
  // Where one CLSID key serves both views (Wine's per-user classes), the
  // class may name the other width's DLL: that is no other file.
  std::optional<NamedFile> other_width;
  if (auto path = registry.Read(PlatformsKey() + L"\\" + kOtherPlatform, nullptr)) {
    other_width.emplace(std::move(*path));
  }
  OwnRegistration found;
  auto judge = [&](const std::wstring& key, const std::wstring& value_key) {
    auto path = registry.Read(value_key, nullptr);
    if (!path) return;
    const NamedFile registered(std::move(*path));
    if (registered.Is(self)) {
      found.keys.push_back(key);
    } else if (!other_width || !registered.Is(*other_width)) {
      found.another = registered.path;
    }
  };
  for (const ComClass& row : ComClasses()) {
    const std::wstring key = L"CLSID\\" + Text(*row.clsid);
    judge(key, key + L"\\InprocServer32");
  }
  const std::wstring platform = PlatformsKey() + L"\\" + kOwnPlatform;
  judge(platform, platform);
  return found;
}

// True when interface key `key` may be written: ours or absent under the
// registration's root and, for a per-user registration, in the machine's
// classes too. The merged classes prefer the user's key, so one written over
// the machine's key of a host would send the host's interface through our
// type library.
bool InterfaceIsWritable(const ClassesRegistry& registry, const ClassesRegistry* machine, const std::wstring& key) {
  return InterfaceIsOurs(registry, key, 0) && (machine == nullptr || InterfaceIsOurs(*machine, key, 0));
}

// `machine`: the machine's classes when registering for one user, else null.
LSTATUS WriteAll(ClassesRegistry& registry, const ClassesRegistry* machine) {
  const std::wstring path = ComModule::Path();
  const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
  const std::wstring libid = Text(kLIBID_VeskProgramManager);
  const bool other_registered = registry.Exists(PlatformsKey() + L"\\" + kOtherPlatform);
  std::vector<std::pair<std::wstring, std::pair<const wchar_t*, std::wstring>>> values;
  auto add = [&](std::wstring key, const wchar_t* name, std::wstring value) {
    values.push_back({std::move(key), {name, std::move(value)}});
  };
  for (const DualInterface& dual : DualInterfaces()) {
    const std::wstring key = L"Interface\\" + Text(*dual.iid);
    if (!InterfaceIsWritable(registry, machine, key)) continue;
    add(key, nullptr, dual.name);
    add(key + L"\\ProxyStubClsid32", nullptr, kAutomationMarshaler);
    add(key + L"\\ProxyStubClsid", nullptr, kAutomationMarshaler);
    add(key + L"\\TypeLib", nullptr, libid);
    add(key + L"\\TypeLib", L"Version", kVersion);
  }
  add(TypeLibVersionKey(), nullptr, L"VeskProgramManager");
  add(TypeLibVersionKey() + L"\\FLAGS", nullptr, L"0");
  // One help folder for both widths: the first registered keeps it.
  if (!other_registered) add(TypeLibVersionKey() + L"\\HELPDIR", nullptr, folder);
  add(PlatformsKey() + L"\\" + kOwnPlatform, nullptr, path);
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
  for (const auto& [key, value] : values) {
    const LSTATUS status = registry.Write(key, value.first, value.second);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

HRESULT ComRegistrar::Register(HKEY root) noexcept {
  ClassesRegistry registry(root);
  const ClassesRegistry machine(HKEY_LOCAL_MACHINE);
  try {
    const LSTATUS status = WriteAll(registry, root == HKEY_LOCAL_MACHINE ? nullptr : &machine);
    if (status == ERROR_SUCCESS) return S_OK;
    registry.Rollback();
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
  } catch (const std::bad_alloc&) {
    registry.Rollback();
    return E_OUTOFMEMORY;
  } catch (...) {
    registry.Rollback();
    return SELFREG_E_CLASS;
  }
}

HRESULT ComRegistrar::Unregister(HKEY root) noexcept {
  try {
    const ClassesRegistry registry(root);
    HRESULT result = S_OK;
    auto note = [&result](LSTATUS status) {
      if (status != ERROR_SUCCESS) result = HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
    };
    // This width's own keys, when they name this DLL; when one names another
    // file, that file's registration stays whole.
    const OwnRegistration own = FindOwnRegistration(registry);
    if (own.another) {
      OutputDebugStringW((L"VeskProgramManager: registered for another file, " + *own.another + L"\n").c_str());
      return kRegisteredForAnotherFile;
    }
    for (const std::wstring& key : own.keys) note(registry.DeleteTree(key));
    // The shared keys, once no registration of either width refers to them.
    if (registry.HasSubkeys(PlatformsKey())) return result;
    for (const REGSAM view : {REGSAM{0}, ClassesRegistry::kOtherView}) {
      for (const ComClass& row : ComClasses()) note(registry.DeleteTree(row.prog_id, view));
      for (const DualInterface& dual : DualInterfaces()) {
        const std::wstring key = L"Interface\\" + Text(*dual.iid);
        if (InterfaceIsOurs(registry, key, view)) note(registry.DeleteTree(key, view));
      }
      note(registry.DeleteTree(TypeLibVersionKey(), view));
      note(registry.DeleteIfEmpty(TypeLibKey(), view));
    }
    return result;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

}  // namespace vesk::com
