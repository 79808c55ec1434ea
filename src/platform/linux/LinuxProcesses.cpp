#include "platform/linux/LinuxProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {
namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

// The file a target path names, as resolved for one scan.
struct TargetFile {
  bool exists = false;        // an existing regular file: the fields below are set
  std::string name_key;       // the final component of the path given, upper-cased
  std::string resolved_key;   // its whole path with every link resolved, upper-cased
  std::uint64_t device = 0;   // its identity
  std::uint64_t inode = 0;
  bool is_app_image = false;  // a self-mounting application image
};

// A /proc entry name that is a process id.
std::optional<std::uint32_t> ProcessId(const char* name) {
  std::uint64_t value = 0;
  if (*name == '\0') return std::nullopt;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(*c - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

// The target of the link `path`, whatever its length.
std::optional<std::string> ReadLink(const char* path) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(path, target.data(), target.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

// The whole content of the file `path`.
std::optional<std::string> ReadFile(const char* path) {
  const UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC));
  if (!file) return std::nullopt;
  std::string content;
  char chunk[4096];
  for (;;) {
    const ssize_t length = ::read(file.get(), chunk, sizeof chunk);
    if (length < 0) return std::nullopt;
    if (length == 0) return content;
    content.append(chunk, static_cast<std::size_t>(length));
  }
}

// The value of variable `name` in an environment block (NUL-separated
// NAME=value entries).
std::optional<std::string_view> Variable(std::string_view environment, std::string_view name) {
  while (!environment.empty()) {
    const std::string_view entry = environment.substr(0, environment.find('\0'));
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      return entry.substr(name.size() + 1);
    }
    environment.remove_prefix(std::min(entry.size() + 1, environment.size()));
  }
  return std::nullopt;
}

// An application image: an ELF file with 'A', 'I' and its type, 1 or 2,
// at offset 8 (the padding of the identification bytes).
bool HasAppImageMagic(const std::string& path) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file) return false;
  unsigned char header[11] = {};
  if (::pread(file.get(), header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) return false;
  return std::memcmp(header, "\x7f" "ELF", 4) == 0 && header[8] == 'A' && header[9] == 'I' &&
         (header[10] == 1 || header[10] == 2);
}

// ASCII letters only, byte by byte, as the scan makes its keys.
std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string_view FinalComponent(std::string_view key) {
  const auto separator = key.find_last_of("/\\");
  return separator == std::string_view::npos ? key : key.substr(separator + 1);
}

bool SameFile(const struct stat& status, const TargetFile& target) {
  return static_cast<std::uint64_t>(status.st_dev) == target.device &&
         static_cast<std::uint64_t>(status.st_ino) == target.inode;
}

struct MallocFree {
  void operator()(char* memory) const noexcept { std::free(memory); }
};

constexpr std::size_t kListingBuffer = 64 * 1024;
constexpr std::chrono::milliseconds kListingLife{100};

// The ids of /proc listed by this thread's last EnumProcesses, kept while a
// scan grows its buffer.
struct ProcListing {
  bool kept = false;
  std::size_t room = 0;  // the size of the buffer it last filled
  std::chrono::steady_clock::time_point taken;
  std::vector<std::uint32_t> ids;
};
thread_local ProcListing t_listing;

// Every process id in /proc, in its order.
bool ListProc(std::vector<std::uint32_t>& ids) {
  const UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!proc) return false;
  const std::unique_ptr<char[]> records(new char[kListingBuffer]);
  for (;;) {
    const long length = ::syscall(SYS_getdents64, proc.get(), records.get(), kListingBuffer);
    if (length < 0) return false;
    if (length == 0) return true;
    for (long offset = 0; offset < length;) {
      // d_reclen and d_name sit at fixed places of each record (linux_dirent64).
      const char* record = records.get() + offset;
      unsigned short record_length = 0;
      std::memcpy(&record_length, record + offsetof(dirent64, d_reclen), sizeof record_length);
      if (const auto id = ProcessId(record + offsetof(dirent64, d_name))) ids.push_back(*id);
      offset += record_length;
    }
  }
}

// "/proc/<pid>/" followed by a file name of the process.
class ProcessPath {
 public:
  explicit ProcessPath(std::uint32_t pid) {
    std::memcpy(path_, "/proc/", 6);
    end_ = std::to_chars(path_ + 6, path_ + 16, pid).ptr;
    *end_ = '\0';
  }
  // The process's folder itself.
  const char* Folder() { *end_ = '\0'; return path_; }
  // Its file `name` (at most 7 bytes).
  const char* File(std::string_view name) {
    end_[0] = '/';
    std::memcpy(end_ + 1, name.data(), name.size());
    end_[name.size() + 1] = '\0';
    return path_;
  }

 private:
  char path_[32] = {};
  char* end_ = path_;
};

// A process opened by this thread: its id, and the target of its exe link
// when that could be read, read once when it was opened.
struct OpenedProcess {
  bool in_use = false;
  bool has_executable = false;
  std::uint32_t pid = 0;
  std::string executable;
};
// The processes this thread has open; a handle is its slot's index plus 1,
// and a closed slot is taken again by the next open.
thread_local std::vector<OpenedProcess> t_opened;

OpenedProcess* Opened(Handle process) {
  if (process <= 0 || static_cast<std::size_t>(process) > t_opened.size()) return nullptr;
  OpenedProcess& opened = t_opened[static_cast<std::size_t>(process - 1)];
  return opened.in_use ? &opened : nullptr;
}

// The target resolved by this thread's current scan, by the path given.
struct ResolvedTarget {
  std::optional<std::string> path;  // none: nothing resolved since the last EnumProcesses
  TargetFile file;
};
thread_local ResolvedTarget t_target;

// Only a full path names a file here (the scan does not depend on the
// current folder); a NUL would end the name early.
TargetFile Resolve(const std::string& path) {
  TargetFile file;
  if (!path.starts_with('/') || path.find('\0') != std::string::npos) return file;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return file;
  const std::unique_ptr<char, MallocFree> resolved(::realpath(path.c_str(), nullptr));
  if (!resolved) return file;
  file.exists = true;
  file.name_key = FinalComponent(UpperCase(path));
  file.resolved_key = UpperCase(resolved.get());
  file.device = status.st_dev;
  file.inode = status.st_ino;
  file.is_app_image = HasAppImageMagic(path);
  return file;
}

const TargetFile& TargetOf(const std::string& path) {
  if (t_target.path != path) {
    t_target.file = Resolve(path);
    t_target.path = path;
  }
  return t_target.file;
}

// Whether `process` is one of the programs of the application image
// `target`, which started it.
bool RunsFromImage(const OpenedProcess& process, const TargetFile& target) {
  ProcessPath path(process.pid);
  const std::optional<std::string> environment = ReadFile(path.File("environ"));
  if (!environment) return false;
  const std::optional<std::string_view> image = Variable(*environment, "APPIMAGE");
  std::optional<std::string_view> mount = Variable(*environment, "APPDIR");
  if (!image || !mount) return false;
  while (mount->ends_with('/')) mount->remove_suffix(1);
  struct stat status {};
  if (mount->empty() || ::stat(std::string(*image).c_str(), &status) != 0 || !SameFile(status, target)) {
    return false;
  }
  // APPIMAGE is inherited by every program started from the image: only the
  // image's own programs, which lie inside its mount, count.
  const std::string& executable = process.executable;
  return process.has_executable && executable.size() > mount->size() && executable.starts_with(*mount) &&
         executable[mount->size()] == '/';
}

}  // namespace

bool LinuxProcesses::GetVersionExA(OsVersionInfo& info) {
  info.dwPlatformId = kPlatformNt;
  return true;
}

Handle LinuxProcesses::CreateToolhelp32Snapshot(std::uint32_t, std::uint32_t) { return 0; }

bool LinuxProcesses::Process32FirstEntry(Handle, ProcessEntry&) { return false; }

bool LinuxProcesses::Process32NextEntry(Handle, ProcessEntry&) { return false; }

bool LinuxProcesses::EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) {
  // A new scan starts: its target is resolved afresh when first asked about.
  t_target = {};
  // The whole of /proc is listed at once; when the buffer given is too small
  // for it, the listing is kept for the thread's next call, which comes with
  // a doubled buffer straight away (a scan grows its buffer until the list
  // fits), so that growing it does not list /proc again each time. Only a
  // larger buffer continues a scan: one of the same or a smaller size starts
  // a new scan (one that was left unfinished, or a nested one), which lists
  // /proc afresh, and so does a call after kListingLife.
  const auto now = std::chrono::steady_clock::now();
  const std::size_t room = size_bytes / 4;
  if (!t_listing.kept || room <= t_listing.room || now - t_listing.taken > kListingLife) {
    t_listing = {};
    if (!ListProc(t_listing.ids)) {
      t_listing = {};
      return false;
    }
    t_listing.taken = now;
  }
  const std::size_t count = std::min(room, t_listing.ids.size());
  std::copy_n(t_listing.ids.begin(), count, ids);
  bytes_returned = static_cast<std::uint32_t>(count * 4);
  // A listing that filled the buffer is kept for the next, larger one; one
  // handed whole with room to spare ends the scan's listing.
  t_listing.kept = room <= t_listing.ids.size();
  t_listing.room = room;
  if (!t_listing.kept) t_listing.ids.clear();
  return true;
}

Handle LinuxProcesses::OpenProcess(std::uint32_t, bool, std::uint32_t process_id) {
  // The exe link is read now, straight through its path: the scan then costs
  // one system call per process. Only when it cannot be read (a kernel
  // thread, a process of another user, or one that has ended) is the folder
  // asked about.
  ProcessPath path(process_id);
  std::optional<std::string> executable = ReadLink(path.File("exe"));
  if (!executable) {
    struct stat folder {};
    if (process_id == 0 || ::stat(path.Folder(), &folder) != 0) return 0;
  }
  auto slot = std::find_if(t_opened.begin(), t_opened.end(), [](const OpenedProcess& p) { return !p.in_use; });
  if (slot == t_opened.end()) slot = t_opened.emplace(t_opened.end());
  slot->in_use = true;
  slot->pid = process_id;
  slot->has_executable = executable.has_value();
  slot->executable = executable ? std::move(*executable) : std::string();
  return static_cast<Handle>(slot - t_opened.begin()) + 1;
}

bool LinuxProcesses::EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                                        std::uint32_t& bytes_needed) {
  const OpenedProcess* opened = Opened(process);
  if (opened == nullptr || !opened->has_executable) return false;
  if (size_bytes >= sizeof(Handle)) modules[0] = kExecutableModule;
  bytes_needed = sizeof(Handle);
  return true;
}

std::uint32_t LinuxProcesses::GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                                   std::uint32_t, bool& cut) {
  cut = false;
  const OpenedProcess* opened = Opened(process);
  if (module != kExecutableModule || opened == nullptr || !opened->has_executable) return 0;
  std::string_view name = opened->executable;
  if (name.ends_with(kDeletedSuffix)) {
    // The suffix marks an unlinked image only when the image really has no
    // name left; a file whose own name ends so keeps it.
    ProcessPath path(opened->pid);
    struct stat image {};
    if (::stat(path.File("exe"), &image) == 0 && image.st_nlink == 0) {
      name.remove_suffix(kDeletedSuffix.size());
    }
  }
  // The whole path, however long: the buffer grows when it needs more room.
  if (buffer.size() < name.size()) buffer.resize(name.size());
  buffer.replace(0, name.size(), name);
  return static_cast<std::uint32_t>(name.size());
}

bool LinuxProcesses::RunsFile(Handle process, const std::string& process_key, const std::string& target_path) {
  const TargetFile& target = TargetOf(target_path);
  if (!target.exists) return false;
  if (process_key == target.resolved_key) return true;
  // Another file of the target's name, or any program of an image, is worth
  // looking at; the name is compared first, as it costs nothing.
  const std::string_view name = FinalComponent(process_key);
  const bool worth_asking = target.is_app_image || name == target.name_key ||
                            name == FinalComponent(target.resolved_key);
  const OpenedProcess* opened = Opened(process);
  if (opened == nullptr || !worth_asking) return false;
  // The link leads into the process's own mount namespace, so a program
  // seen there under another path (a sandbox's /app) is still its file.
  ProcessPath path(opened->pid);
  struct stat image {};
  if (::stat(path.File("exe"), &image) == 0 && SameFile(image, target)) return true;
  return target.is_app_image && RunsFromImage(*opened, target);
}

bool LinuxProcesses::CloseHandle(Handle handle) {
  OpenedProcess* opened = Opened(handle);
  if (opened == nullptr) return false;
  *opened = {};
  // Trailing closed slots are given back, so the table stays as small as
  // the number of processes open at once.
  while (!t_opened.empty() && !t_opened.back().in_use) t_opened.pop_back();
  return true;
}

}  // namespace vesk::platform::linux_backend
