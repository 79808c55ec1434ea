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
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/UniqueFd.h"

namespace vesk::platform::linux_backend {
namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

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

}  // namespace

bool LinuxProcesses::GetVersionExA(OsVersionInfo& info) {
  info.dwPlatformId = kPlatformNt;
  return true;
}

Handle LinuxProcesses::CreateToolhelp32Snapshot(std::uint32_t, std::uint32_t) { return 0; }

bool LinuxProcesses::Process32FirstEntry(Handle, ProcessEntry&) { return false; }

bool LinuxProcesses::Process32NextEntry(Handle, ProcessEntry&) { return false; }

bool LinuxProcesses::EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) {
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
                                                   std::uint32_t size) {
  if (module != kExecutableModule) return 0;
  std::optional<std::string> path;
  if (t_read_link.process == process && process > 0) path = t_read_link.target;
  else path = ReadLinkAt(FdOf(process), "exe");
  if (!path) return 0;
  if (path->ends_with(kDeletedSuffix)) {
    // The suffix marks an unlinked image only when the image really has no
    // name left; a file whose own name ends so keeps it.
    struct stat image {};
    if (::fstatat(FdOf(process), "exe", &image, 0) == 0 && image.st_nlink == 0) {
      path->resize(path->size() - kDeletedSuffix.size());
    }
  }
  const std::size_t copied = std::min({path->size(), std::size_t{size}, buffer.size()});
  buffer.replace(0, copied, *path, 0, copied);
  return static_cast<std::uint32_t>(copied);
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
