#pragma once

#include <cstdint>
#include <string>

namespace vesk::platform {

// A process handle, a snapshot or a module: an opaque value, 0 for none.
using Handle = std::intptr_t;

// The version record: the caller sets dwOSVersionInfoSize and szCSDVersion
// (128 characters) before the query; the query fills the rest.
struct OsVersionInfo {
  std::uint32_t dwOSVersionInfoSize = 0;
  std::uint32_t dwMajorVersion = 0;
  std::uint32_t dwMinorVersion = 0;
  std::uint32_t dwBuildNumber = 0;
  std::uint32_t dwPlatformId = 0;
  std::string szCSDVersion;
};

// One entry of a process snapshot. dwSize is set by the caller (296, the
// size of the record exchanged with the platform); szExeFile comes back as
// all 260 characters of the name field: the name, then NULs. exe_file_cut
// tells that the name may have been cut to fit the field.
struct ProcessEntry {
  std::uint32_t dwSize = 0;
  std::uint32_t th32ProcessID = 0;
  std::string szExeFile;
  bool exe_file_cut = false;
};

inline constexpr std::uint32_t kOsVersionInfoSize = 148;
inline constexpr std::size_t kCsdVersionLength = 128;
inline constexpr std::uint32_t kProcessEntrySize = 296;
inline constexpr std::size_t kExeFileLength = 260;  // MAX_PATH
inline constexpr std::uint32_t kPlatformWindows = 1;  // VER_PLATFORM_WIN32_WINDOWS
inline constexpr std::uint32_t kPlatformNt = 2;       // VER_PLATFORM_WIN32_NT
inline constexpr std::uint32_t kSnapProcess = 2;      // TH32CS_SNAPPROCESS
inline constexpr std::uint32_t kProcessQueryInformation = 1024;
inline constexpr std::uint32_t kProcessVmRead = 16;

// The running processes, in the shape of the platform's two families of
// process functions (tool-help snapshots and the process-status library).
class IProcesses {
 public:
  virtual ~IProcesses() = default;
  // Fills `info`; false when the query failed (the record is then unchanged).
  virtual bool GetVersionExA(OsVersionInfo& info) = 0;
  // A snapshot of the processes (flags kSnapProcess), or 0.
  virtual Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t process_id) = 0;
  // Deliver the first / next entry of `snapshot` into `entry`; false at the
  // end or on failure.
  virtual bool Process32FirstEntry(Handle snapshot, ProcessEntry& entry) = 0;
  virtual bool Process32NextEntry(Handle snapshot, ProcessEntry& entry) = 0;
  // Writes process ids into `ids` (room for size_bytes / 4) and the number of
  // bytes written, never more than `size_bytes`, into `bytes_returned`.
  virtual bool EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) = 0;
  // A handle of process `process_id`, or 0 when it cannot be opened.
  virtual Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t process_id) = 0;
  // Writes the process's module handles into `modules` (room for size_bytes
  // of them), the executable's first; false on failure.
  virtual bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                                  std::uint32_t& bytes_needed) = 0;
  // Writes the module's full path into the first characters of `buffer`
  // (the caller gives `size` as buffer's length; a backend that can read
  // the whole path grows the buffer when the path needs more) and returns
  // the number written, 0 on failure. `cut` is set when the path written is
  // not the whole path.
  virtual std::uint32_t GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                             std::uint32_t size, bool& cut) = 0;
  // Whether open `process`, whose path key `process_key` (trimmed, no NULs,
  // ASCII upper-cased) is not the target's, runs the file `target_path` names.
  virtual bool RunsFile(Handle process, const std::string& process_key, const std::string& target_path) = 0;
  // Releases a process handle or a snapshot.
  virtual bool CloseHandle(Handle handle) = 0;
};

}  // namespace vesk::platform
