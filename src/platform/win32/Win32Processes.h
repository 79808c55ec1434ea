#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/IProcesses.h"

namespace vesk::platform::win32 {

// The running processes through the wide-character functions of kernel32
// (version query, tool-help snapshots) and psapi (process-status), each
// bound on its first call. The interface carries the sizes of the 8-bit
// records (kOsVersionInfoSize, kProcessEntrySize); they are translated to
// the sizes of the wide records the platform expects (kWideOsVersionInfoSize,
// kWideProcessEntrySize). A record of any other size fails the call, as the
// platform itself would refuse it. Names and paths come back in UTF-8; a
// name that is not valid UTF-16 (an unpaired surrogate) cannot be compared,
// so its process is passed over as one that cannot be opened.
//
// A process that refuses the full access of the process-status route, or
// whose modules cannot be listed (always so for a program of the other
// width, and for elevated ones), is read through its image path instead:
// the handle then remembers it is a limited one, its module list is one
// pseudo module, and its module file name is QueryFullProcessImageNameW.
class Win32Processes : public IProcesses {
 public:
  // sizeof(OSVERSIONINFOW): 276 bytes on both widths.
  static const std::uint32_t kWideOsVersionInfoSize;
  // sizeof(PROCESSENTRY32W): 556 bytes on i686, 568 on x86_64.
  static const std::uint32_t kWideProcessEntrySize;

  bool GetVersionExA(OsVersionInfo& info) override;
  Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t process_id) override;
  // szExeFile is the UTF-8 name followed by NULs up to kExeFileLength
  // bytes (a name of that length or more gets one NUL). A name that fills
  // the platform's field (259 characters) may have been cut, and is
  // flagged so.
  bool Process32FirstEntry(Handle snapshot, ProcessEntry& entry) override;
  bool Process32NextEntry(Handle snapshot, ProcessEntry& entry) override;
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) override;
  // When the access asked for includes PROCESS_QUERY_INFORMATION and is
  // refused, a limited handle (see OpenLimited).
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t process_id) override;
  // A handle with PROCESS_QUERY_LIMITED_INFORMATION only, read through its
  // image path; 0 when even that is refused.
  Handle OpenLimited(bool inherit, std::uint32_t process_id);
  // The one module a limited handle lists.
  static const Handle kImageModule;
  // Fails for a process whose executable's path cannot be read or converted;
  // a handle whose modules cannot be listed becomes a limited one.
  bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                          std::uint32_t& bytes_needed) override;
  // Asks the platform for `size` UTF-16 characters, and again with twice
  // the room while the path fills it (up to 32,767 characters, past which
  // the path is flagged cut); the UTF-8 path replaces the front of `buffer`
  // (which grows when the path needs more bytes than it has) and the count
  // returned is in bytes.
  std::uint32_t GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                     std::uint32_t size, bool& cut) override;
  // Windows matches by path only: no process runs the target under another
  // path.
  bool RunsFile(Handle process, const std::string& process_key, const std::string& target_path) override;
  bool CloseHandle(Handle handle) override;

 private:
  // The executable's path as one read found it.
  struct ReadPath {
    bool read = false;       // the platform gave a path
    bool converted = false;  // and it is valid UTF-16
    std::string utf8;
    bool cut = false;
  };
  ReadPath ReadModulePath(Handle process, Handle module, std::uint32_t first_room);
  bool IsLimited(Handle process);

  std::mutex mutex_;
  std::set<Handle> limited_;
  // The path EnumProcessModules read to check the name, kept for the
  // GetModuleFileNameExA call that follows it.
  std::optional<std::pair<std::pair<Handle, Handle>, ReadPath>> last_read_;
};

}  // namespace vesk::platform::win32
