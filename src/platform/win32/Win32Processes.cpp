#include "platform/win32/Win32Processes.h"

// The process-status functions under their psapi.dll names (not the K32
// aliases of kernel32 that newer headers map them to).
#define PSAPI_VERSION 1
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/LazyFunction.h"
#include "platform/win32/Utf16.h"

namespace vesk::platform::win32 {
namespace {

LazyFunction<decltype(::GetVersionExW)> g_get_version(L"kernel32.dll", "GetVersionExW");
LazyFunction<decltype(::CreateToolhelp32Snapshot)> g_snapshot(L"kernel32.dll", "CreateToolhelp32Snapshot");
LazyFunction<decltype(::Process32FirstW)> g_first(L"kernel32.dll", "Process32FirstW");
LazyFunction<decltype(::Process32NextW)> g_next(L"kernel32.dll", "Process32NextW");
LazyFunction<decltype(::OpenProcess)> g_open(L"kernel32.dll", "OpenProcess");
LazyFunction<decltype(::CloseHandle)> g_close(L"kernel32.dll", "CloseHandle");
LazyFunction<decltype(::EnumProcesses)> g_enum_processes(L"psapi.dll", "EnumProcesses");
LazyFunction<decltype(::EnumProcessModules)> g_enum_modules(L"psapi.dll", "EnumProcessModules");
LazyFunction<decltype(::GetModuleFileNameExW)> g_module_file_name(L"psapi.dll", "GetModuleFileNameExW");
LazyFunction<decltype(::QueryFullProcessImageNameW)> g_image_name(L"kernel32.dll", "QueryFullProcessImageNameW");

static_assert(sizeof(PROCESSENTRY32W) == (sizeof(void*) == 8 ? 568 : 556));
static_assert(sizeof(OSVERSIONINFOW) == 276);

// The longest path the platform has, in UTF-16 characters with the NUL.
constexpr DWORD kLongestPath = 32768;

HANDLE ToHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
Handle FromHandle(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

// The UTF-16 text up to its first NUL, at most `length` characters.
std::wstring_view Terminated(const wchar_t* text, std::size_t length) {
  return std::wstring_view(text, std::find(text, text + length, L'\0') - text);
}

// The UTF-8 form of `text`; nothing when it is not valid UTF-16.
std::optional<std::string> ToUtf8(std::wstring_view text) {
  try {
    return Utf16::ToUtf8(text);
  } catch (const Failure& failure) {
    if (failure.number() != errors::kInvalidArgument) throw;
    return std::nullopt;
  }
}

bool DeliverEntry(decltype(g_first)& first_step, Handle snapshot, ProcessEntry& entry) {
  if (entry.dwSize != kProcessEntrySize) {
    SetLastError(ERROR_BAD_LENGTH);
    return false;
  }
  PROCESSENTRY32W wide{};
  wide.dwSize = sizeof(wide);
  std::optional<std::string> name;
  // An entry whose name cannot be converted could never match: the walk
  // moves past it.
  for (auto* step = &first_step; !name; step = &g_next) {
    if (!(*step)(ToHandle(snapshot), &wide)) return false;
    name = ToUtf8(Terminated(wide.szExeFile, std::size(wide.szExeFile)));
  }
  entry.th32ProcessID = wide.th32ProcessID;
  const std::wstring_view wide_name = Terminated(wide.szExeFile, std::size(wide.szExeFile));
  // The platform cuts a longer name to fill the field and gives no other
  // sign: a name that fills it may have been cut.
  entry.exe_file_cut = wide_name.size() >= std::size(wide.szExeFile) - 1;
  name->resize(std::max(kExeFileLength, name->size() + 1), '\0');
  entry.szExeFile = std::move(*name);
  return true;
}

}  // namespace

const std::uint32_t Win32Processes::kWideOsVersionInfoSize = sizeof(OSVERSIONINFOW);
const std::uint32_t Win32Processes::kWideProcessEntrySize = sizeof(PROCESSENTRY32W);

bool Win32Processes::GetVersionExA(OsVersionInfo& info) {
  if (info.dwOSVersionInfoSize != kOsVersionInfoSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  OSVERSIONINFOW wide{};
  wide.dwOSVersionInfoSize = sizeof(wide);
  if (!g_get_version(&wide)) return false;
  std::string service_pack = Utf16::ToUtf8(Terminated(wide.szCSDVersion, std::size(wide.szCSDVersion)));
  service_pack.resize(std::max(kCsdVersionLength, service_pack.size() + 1), '\0');
  info.dwMajorVersion = wide.dwMajorVersion;
  info.dwMinorVersion = wide.dwMinorVersion;
  info.dwBuildNumber = wide.dwBuildNumber;
  info.dwPlatformId = wide.dwPlatformId;
  info.szCSDVersion = std::move(service_pack);
  return true;
}

Handle Win32Processes::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t process_id) {
  const HANDLE snapshot = g_snapshot(flags, process_id);
  return snapshot == INVALID_HANDLE_VALUE ? 0 : FromHandle(snapshot);
}

bool Win32Processes::Process32FirstEntry(Handle snapshot, ProcessEntry& entry) {
  return DeliverEntry(g_first, snapshot, entry);
}

bool Win32Processes::Process32NextEntry(Handle snapshot, ProcessEntry& entry) {
  return DeliverEntry(g_next, snapshot, entry);
}

bool Win32Processes::EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) {
  // DWORD and std::uint32_t are distinct types of the same size.
  std::vector<DWORD> wide(size_bytes / sizeof(DWORD));
  DWORD returned = 0;
  if (!g_enum_processes(wide.data(), static_cast<DWORD>(wide.size() * sizeof(DWORD)), &returned)) return false;
  returned = std::min<DWORD>(returned, static_cast<DWORD>(wide.size() * sizeof(DWORD)));
  std::copy_n(wide.begin(), returned / sizeof(DWORD), ids);
  bytes_returned = returned;
  return true;
}

Handle Win32Processes::OpenProcess(std::uint32_t access, bool inherit, std::uint32_t process_id) {
  const Handle process = FromHandle(g_open(access, inherit ? TRUE : FALSE, process_id));
  if (process != 0 || (access & PROCESS_QUERY_INFORMATION) == 0) return process;
  return OpenLimited(inherit, process_id);
}

Handle Win32Processes::OpenLimited(bool inherit, std::uint32_t process_id) {
  const Handle process = FromHandle(g_open(PROCESS_QUERY_LIMITED_INFORMATION, inherit ? TRUE : FALSE, process_id));
  if (process == 0) return 0;
  const std::lock_guard<std::mutex> lock(mutex_);
  limited_.insert(process);
  return process;
}

const Handle Win32Processes::kImageModule = 1;

bool Win32Processes::IsLimited(Handle process) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return limited_.count(process) != 0;
}

bool Win32Processes::EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                                        std::uint32_t& bytes_needed) {
  static_assert(sizeof(HMODULE) == sizeof(Handle));
  if (!IsLimited(process)) {
    std::vector<HMODULE> wide(size_bytes / sizeof(HMODULE));
    DWORD needed = 0;
    if (g_enum_modules(ToHandle(process), wide.data(), static_cast<DWORD>(wide.size() * sizeof(HMODULE)), &needed) &&
        needed >= sizeof(HMODULE)) {
      const std::size_t delivered = std::min<std::size_t>(needed / sizeof(HMODULE), wide.size());
      if (delivered == 0) {
        bytes_needed = needed;
        return true;
      }
      // The executable's path is read now: a name that cannot be converted
      // fails here, and the path is kept for the call that asks for it.
      const Handle executable = reinterpret_cast<Handle>(wide[0]);
      ReadPath path = ReadModulePath(process, executable, MAX_PATH);
      if (path.read) {
        if (!path.converted) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return false;
        }
        std::transform(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(delivered), modules,
                       [](HMODULE module) { return reinterpret_cast<Handle>(module); });
        bytes_needed = needed;
        const std::lock_guard<std::mutex> lock(mutex_);
        last_read_.emplace(std::pair(process, executable), std::move(path));
        return true;
      }
    }
    // Modules that cannot be listed (or read): the image path may still be.
    const std::lock_guard<std::mutex> lock(mutex_);
    limited_.insert(process);
  }
  const ReadPath path = ReadModulePath(process, kImageModule, kLongestPath);
  if (!path.read) return false;
  if (!path.converted) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  if (size_bytes >= sizeof(Handle)) modules[0] = kImageModule;
  bytes_needed = sizeof(Handle);
  return true;
}

Win32Processes::ReadPath Win32Processes::ReadModulePath(Handle process, Handle module, std::uint32_t first_room) {
  ReadPath path;
  std::wstring wide;
  DWORD length = 0;
  if (IsLimited(process)) {
    wide.assign(kLongestPath, L'\0');
    length = kLongestPath;
    if (!g_image_name(ToHandle(process), 0, wide.data(), &length)) return path;
  } else {
    // The platform cuts a path that does not fit and gives no other sign
    // than a full buffer: a full buffer is asked again with twice the room,
    // up to the longest path there is; only past that is the path cut.
    DWORD room = std::clamp<DWORD>(first_room, 1, kLongestPath);
    for (;;) {
      wide.assign(room, L'\0');
      length = g_module_file_name(ToHandle(process), reinterpret_cast<HMODULE>(module), wide.data(), room);
      if (length == 0) return path;
      if (length + 1 < room) break;
      if (room == kLongestPath) {
        path.cut = true;
        break;
      }
      room = std::min<DWORD>(room * 2, kLongestPath);
    }
    length = std::min<DWORD>(length, room);
  }
  path.read = length > 0;
  std::optional<std::string> utf8 = ToUtf8(std::wstring_view(wide.data(), length));
  path.converted = utf8.has_value();
  if (utf8) path.utf8 = std::move(*utf8);
  return path;
}

std::uint32_t Win32Processes::GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                                   std::uint32_t size, bool& cut) {
  cut = false;
  std::optional<ReadPath> kept;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (last_read_ && last_read_->first == std::pair(process, module)) kept = std::move(last_read_->second);
    last_read_.reset();
  }
  const ReadPath path = kept ? std::move(*kept) : ReadModulePath(process, module, size);
  if (!path.read) return 0;
  if (!path.converted) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  cut = path.cut;
  if (buffer.size() < path.utf8.size()) buffer.resize(path.utf8.size(), '\0');
  buffer.replace(0, path.utf8.size(), path.utf8);
  return static_cast<std::uint32_t>(path.utf8.size());
}

bool Win32Processes::RunsFile(Handle, const std::string&, const std::string&) { return false; }

bool Win32Processes::CloseHandle(Handle handle) {
  {
    // A value the platform may hand out again forgets what it was.
    const std::lock_guard<std::mutex> lock(mutex_);
    limited_.erase(handle);
    if (last_read_ && last_read_->first.first == handle) last_read_.reset();
  }
  return g_close(ToHandle(handle)) != FALSE;
}

}  // namespace vesk::platform::win32
