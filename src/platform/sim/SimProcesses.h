#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/IProcesses.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// One scripted process.
struct SimProcess {
  std::uint32_t id = 0;
  std::string path;  // the executable's path: module file name and tool-help name
  bool can_open = true;
  bool can_list_modules = true;
  std::optional<std::uint32_t> name_length;  // what GetModuleFileNameExA returns instead of the length
  bool name_cut = false;  // both families flag the name as cut (they also do when it does not fit)
  std::uint64_t inode = 0;  // the identity of the executable file; 0: none
};

// A scripted process table in the shape of both process families. Every call
// is recorded with its arguments as passed; handles are counted, so a test
// can check that each one was released.
class SimProcesses : public IProcesses {
 public:
  explicit SimProcesses(SimLog& log) : log_(log) {}

  bool GetVersionExA(OsVersionInfo& info) override;
  Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t process_id) override;
  bool Process32FirstEntry(Handle snapshot, ProcessEntry& entry) override;
  bool Process32NextEntry(Handle snapshot, ProcessEntry& entry) override;
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) override;
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t process_id) override;
  bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                          std::uint32_t& bytes_needed) override;
  // Cuts the path at `size` (and the buffer's length), as Win32 would.
  std::uint32_t GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                     std::uint32_t size, bool& cut) override;
  // Whether the open process has an inode and it is the one `files` gives
  // for `target_path`.
  bool RunsFile(Handle process, const std::string& process_key, const std::string& target_path) override;
  bool CloseHandle(Handle handle) override;

  std::vector<SimProcess> processes;
  std::map<std::string, std::uint64_t> files;  // the inode of each existing file, by the path given
  std::uint32_t platform_id = kPlatformNt;
  bool version_query_fails = false;
  bool snapshot_fails = false;
  bool enum_processes_fails = false;
  std::optional<std::uint32_t> enum_processes_bytes;  // what EnumProcesses reports instead of the bytes written

  // Handles issued and not yet closed.
  int open_handles() const { return static_cast<int>(open_.size()); }
  // CloseHandle calls with a handle that was not open.
  int bad_closes() const { return bad_closes_; }
  // The module handle the process with `process_id` reports first.
  static Handle ModuleOf(std::uint32_t process_id) { return static_cast<Handle>(process_id) * 16 + 7; }

 private:
  struct OpenHandle {
    bool is_snapshot;
    std::size_t position;  // snapshot: the next entry; process: index in `processes`
  };
  bool Deliver(Handle snapshot, ProcessEntry& entry, bool first);
  const SimProcess* ProcessOf(Handle process) const;

  SimLog& log_;
  std::map<Handle, OpenHandle> open_;
  Handle next_handle_ = 0x100;
  std::size_t next_open_ = 0;  // a scan opens processes in table order: tried first
  int bad_closes_ = 0;
};

}  // namespace vesk::platform::sim
