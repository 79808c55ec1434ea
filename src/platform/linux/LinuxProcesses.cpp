#include "platform/linux/LinuxProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
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

int FdOf(Handle process) { return static_cast<int>(process - 1); }

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

// The target of the link `name` in directory `dir`, whatever its length.
std::optional<std::string> ReadLinkAt(int dir, const char* name) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = ::readlinkat(dir, name, target.data(), target.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

// The whole content of the file `name` in directory `dir`.
std::optional<std::string> ReadFileAt(int dir, const char* name) {
  const UniqueFd file(::openat(dir, name, O_RDONLY | O_CLOEXEC));
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

// /proc lists its own entries (a few dozen) before the processes.
constexpr std::size_t kOtherProcEntries = 96;
// A directory record of a process id: header, name and padding.
constexpr std::size_t kRecordBytes = 32;
constexpr std::size_t kMaxListingBuffer = 64 * 1024;

// The link read by the last EnumProcessModules of this thread, kept for the
// GetModuleFileNameExA that follows on the same handle, until it is closed.
struct ReadLink {
  Handle process = 0;
  std::string target;
};
thread_local ReadLink t_read_link;

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

// The target of the exe link of `process`: the one read by the last
// EnumProcessModules on that handle, or read now into `read`.
const std::string* ExecutableOf(Handle process, std::optional<std::string>& read) {
  if (t_read_link.process == process && process > 0) return &t_read_link.target;
  read = ReadLinkAt(FdOf(process), "exe");
  return read ? &*read : nullptr;
}

// Whether `process` is one of the programs of the application image
// `target`, which started it.
bool RunsFromImage(Handle process, const TargetFile& target) {
  const std::optional<std::string> environment = ReadFileAt(FdOf(process), "environ");
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
  std::optional<std::string> read;
  const std::string* executable = ExecutableOf(process, read);
  return executable != nullptr && executable->size() > mount->size() && executable->starts_with(*mount) &&
         (*executable)[mount->size()] == '/';
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
  // Every call lists /proc afresh. The records are read with a buffer sized
  // to the room given, so that a small buffer makes the kernel produce only
  // a small part of the listing.
  const UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!proc) return false;
  const std::uint32_t room = size_bytes / 4;
  std::vector<char> records(std::min((room + kOtherProcEntries) * kRecordBytes, kMaxListingBuffer));
  std::uint32_t count = 0;
  while (count < room) {
    const long length = ::syscall(SYS_getdents64, proc.get(), records.data(), records.size());
    if (length < 0) return false;
    if (length == 0) break;
    for (long offset = 0; offset < length && count < room;) {
      // d_reclen and d_name sit at fixed places of each record (linux_dirent64).
      const char* record = records.data() + offset;
      unsigned short record_length = 0;
      std::memcpy(&record_length, record + offsetof(dirent64, d_reclen), sizeof record_length);
      if (const auto id = ProcessId(record + offsetof(dirent64, d_name))) ids[count++] = *id;
      offset += record_length;
    }
  }
  bytes_returned = count * 4;
  return true;
}

Handle LinuxProcesses::OpenProcess(std::uint32_t, bool, std::uint32_t process_id) {
  char path[32] = "/proc/";
  const auto end = std::to_chars(path + 6, path + sizeof path - 1, process_id).ptr;
  *end = '\0';
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  return static_cast<Handle>(fd) + 1;
}

bool LinuxProcesses::EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                                        std::uint32_t& bytes_needed) {
  // The whole link is read now, and handed to GetModuleFileNameExA next.
  std::optional<std::string> target = ReadLinkAt(FdOf(process), "exe");
  if (!target) return false;
  t_read_link = {process, std::move(*target)};
  if (size_bytes >= sizeof(Handle)) modules[0] = kExecutableModule;
  bytes_needed = sizeof(Handle);
  return true;
}

std::uint32_t LinuxProcesses::GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                                   std::uint32_t, bool& cut) {
  cut = false;
  if (module != kExecutableModule) return 0;
  std::optional<std::string> read;
  const std::string* path = ExecutableOf(process, read);
  if (path == nullptr) return 0;
  std::string_view name = *path;
  if (name.ends_with(kDeletedSuffix)) {
    // The suffix marks an unlinked image only when the image really has no
    // name left; a file whose own name ends so keeps it.
    struct stat image {};
    if (::fstatat(FdOf(process), "exe", &image, 0) == 0 && image.st_nlink == 0) {
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
  if (process <= 0 || !worth_asking) return false;
  // The link leads into the process's own mount namespace, so a program
  // seen there under another path (a sandbox's /app) is still its file.
  struct stat image {};
  if (::fstatat(FdOf(process), "exe", &image, 0) == 0 && SameFile(image, target)) return true;
  return target.is_app_image && RunsFromImage(process, target);
}

bool LinuxProcesses::CloseHandle(Handle handle) {
  if (handle <= 0) return false;
  if (t_read_link.process == handle) t_read_link = {};
  const int saved = errno;
  const bool closed = ::close(FdOf(handle)) == 0;
  errno = saved;
  return closed;
}

}  // namespace vesk::platform::linux_backend
