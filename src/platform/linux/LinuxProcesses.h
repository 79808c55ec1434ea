#pragma once

#include "platform/IProcesses.h"

namespace vesk::platform::linux_backend {

// The running processes on Linux, through /proc, as the process-status
// family (GetVersionExA reports platform id 2; the tool-help functions
// deliver nothing).
//  - EnumProcesses lists the numeric entries of /proc;
//  - a process "opens" when its /proc/<pid> folder exists; /proc/<pid>/exe
//    is read as it opens (one system call per process for the whole scan,
//    no descriptor kept). The handle names a slot of the opening thread's
//    table of open processes, good on that thread until CloseHandle; later
//    questions on it go to /proc/<pid> by path;
//  - its modules can be listed when /proc/<pid>/exe could be read (a process
//    of another user, or a kernel thread, cannot); its one module is its
//    executable;
//  - the module file name is the whole target of /proc/<pid>/exe, however
//    long (the buffer grows to hold it; the size asked for is not a limit),
//    so it is never cut. When the running image has been unlinked (its link
//    count is 0, as after a package upgrade replaced it) the kernel's
//    " (deleted)" suffix is removed, so the process still matches its path;
//  - RunsFile resolves the target when it is a full path naming a regular
//    file: every link resolved (realpath), its device and inode, and whether
//    it is an AppImage (ELF magic with 'A', 'I', 1 or 2 at offset 8). The
//    resolution is kept, by path, until the next EnumProcesses of the thread
//    (which starts every scan, a nested one too), so a scan resolves once;
//  - a process runs the target file when its key is the resolved path's key
//    (a link names its target); or, when its final component is the
//    target's, given or resolved, and /proc/<pid>/exe, followed into the
//    process's own mount namespace, has the target's device and inode (a
//    hard link under another file name is thus not seen); or, for an
//    AppImage target, whatever the process's name, when its APPIMAGE
//    variable (read from /proc/<pid>/environ) names that file and its
//    executable lies inside the image's mount (its APPDIR variable).
// A process that ends in the middle of a scan simply fails the next step.
class LinuxProcesses : public IProcesses {
 public:
  bool GetVersionExA(OsVersionInfo& info) override;
  Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t process_id) override;
  bool Process32FirstEntry(Handle snapshot, ProcessEntry& entry) override;
  bool Process32NextEntry(Handle snapshot, ProcessEntry& entry) override;
  bool EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) override;
  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t process_id) override;
  bool EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                          std::uint32_t& bytes_needed) override;
  std::uint32_t GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                     std::uint32_t size, bool& cut) override;
  bool RunsFile(Handle process, const std::string& process_key, const std::string& target_path) override;
  bool CloseHandle(Handle handle) override;

  // The module handle EnumProcessModules reports for the executable.
  static constexpr Handle kExecutableModule = 1;
};

}  // namespace vesk::platform::linux_backend
