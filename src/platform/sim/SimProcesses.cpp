#include "platform/sim/SimProcesses.h"

#include <algorithm>

namespace vesk::platform::sim {
namespace {
std::string Text(std::uint64_t value) { return std::to_string(value); }
std::string Text(Handle value) { return std::to_string(value); }
}  // namespace

bool SimProcesses::GetVersionExA(OsVersionInfo& info) {
  log_.Record("GetVersionExA", {Text(std::uint64_t{info.dwOSVersionInfoSize}), info.szCSDVersion});
  if (version_query_fails) return false;
  info.dwMajorVersion = 5;
  info.dwPlatformId = platform_id;
  return true;
}

Handle SimProcesses::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t process_id) {
  log_.Record("CreateToolhelp32Snapshot", {Text(std::uint64_t{flags}), Text(std::uint64_t{process_id})});
  if (snapshot_fails) return 0;
  const Handle handle = next_handle_++;
  open_[handle] = OpenHandle{true, 0};
  return handle;
}

bool SimProcesses::Process32FirstEntry(Handle snapshot, ProcessEntry& entry) {
  log_.Record("Process32First", {Text(snapshot), Text(std::uint64_t{entry.dwSize})});
  return Deliver(snapshot, entry, true);
}

bool SimProcesses::Process32NextEntry(Handle snapshot, ProcessEntry& entry) {
  log_.Record("Process32Next", {Text(snapshot), Text(std::uint64_t{entry.dwSize})});
  return Deliver(snapshot, entry, false);
}

bool SimProcesses::Deliver(Handle snapshot, ProcessEntry& entry, bool first) {
  const auto found = open_.find(snapshot);
  if (found == open_.end() || !found->second.is_snapshot || entry.dwSize != kProcessEntrySize) return false;
  if (first) found->second.position = 0;
  if (found->second.position >= processes.size()) return false;
  const SimProcess& process = processes[found->second.position++];
  entry.th32ProcessID = process.id;
  // The name field: the name (cut to 259 characters), then NULs up to 260.
  entry.exe_file_cut = process.name_cut || process.path.size() > kExeFileLength - 1;
  entry.szExeFile = process.path.substr(0, kExeFileLength - 1);
  entry.szExeFile.resize(kExeFileLength, '\0');
  return true;
}

bool SimProcesses::EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) {
  log_.Record("EnumProcesses", {Text(std::uint64_t{size_bytes})});
  if (enum_processes_fails) return false;
  const std::size_t count = std::min<std::size_t>(processes.size(), size_bytes / 4);
  for (std::size_t i = 0; i < count; ++i) ids[i] = processes[i].id;
  bytes_returned = enum_processes_bytes.value_or(static_cast<std::uint32_t>(count * 4));
  return true;
}

Handle SimProcesses::OpenProcess(std::uint32_t access, bool inherit, std::uint32_t process_id) {
  log_.Record("OpenProcess", {Text(std::uint64_t{access}), inherit ? "1" : "0", Text(std::uint64_t{process_id})});
  auto found = next_open_ < processes.size() && processes[next_open_].id == process_id
                   ? processes.begin() + static_cast<std::ptrdiff_t>(next_open_)
                   : std::find_if(processes.begin(), processes.end(),
                                  [&](const SimProcess& p) { return p.id == process_id; });
  if (found != processes.end()) next_open_ = static_cast<std::size_t>(found - processes.begin()) + 1;
  if (found == processes.end() || !found->can_open) return 0;
  const Handle handle = next_handle_++;
  open_[handle] = OpenHandle{false, static_cast<std::size_t>(found - processes.begin())};
  return handle;
}

const SimProcess* SimProcesses::ProcessOf(Handle process) const {
  const auto found = open_.find(process);
  if (found == open_.end() || found->second.is_snapshot) return nullptr;
  return &processes[found->second.position];
}

bool SimProcesses::EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                                      std::uint32_t& bytes_needed) {
  log_.Record("EnumProcessModules", {Text(process), Text(std::uint64_t{size_bytes})});
  const SimProcess* found = ProcessOf(process);
  if (found == nullptr || !found->can_list_modules) return false;
  if (size_bytes >= sizeof(Handle)) modules[0] = ModuleOf(found->id);
  bytes_needed = sizeof(Handle);
  return true;
}

std::uint32_t SimProcesses::GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                                 std::uint32_t size, bool& cut) {
  log_.Record("GetModuleFileNameExA",
              {Text(process), Text(module), Text(std::uint64_t{buffer.size()}), Text(std::uint64_t{size})});
  cut = false;
  const SimProcess* found = ProcessOf(process);
  if (found == nullptr || module != ModuleOf(found->id)) return 0;
  const std::size_t copied = std::min({found->path.size(), std::size_t{size}, buffer.size()});
  buffer.replace(0, copied, found->path, 0, copied);
  cut = found->name_cut || copied < found->path.size();
  return found->name_length.value_or(static_cast<std::uint32_t>(copied));
}

bool SimProcesses::RunsFile(Handle process, const std::string& process_key, const std::string& target_path) {
  log_.Record("RunsFile", {Text(process), process_key, target_path});
  const SimProcess* found = ProcessOf(process);
  const auto file = files.find(target_path);
  return found != nullptr && found->inode != 0 && file != files.end() && file->second == found->inode;
}

bool SimProcesses::CloseHandle(Handle handle) {
  // The handle is released before the call is recorded, so that a failure
  // injected into CloseHandle leaves no handle open.
  const bool was_open = open_.erase(handle) != 0;
  if (!was_open) ++bad_closes_;
  log_.Record("CloseHandle", {Text(handle)});
  return was_open;
}

}  // namespace vesk::platform::sim
