#include "platform/linux/LinuxProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>

#include "platform/UniqueResource.h"

namespace vesk::platform::linux_backend {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = UniqueResource<DIR*, DirCloser, nullptr>;

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

}  // namespace

bool LinuxProcesses::GetVersionExA(OsVersionInfo& info) {
  info.dwPlatformId = kPlatformNt;
  return true;
}

Handle LinuxProcesses::CreateToolhelp32Snapshot(std::uint32_t, std::uint32_t) { return 0; }

bool LinuxProcesses::Process32FirstEntry(Handle, ProcessEntry&) { return false; }

bool LinuxProcesses::Process32NextEntry(Handle, ProcessEntry&) { return false; }

bool LinuxProcesses::EnumProcesses(std::uint32_t* ids, std::uint32_t size_bytes, std::uint32_t& bytes_returned) {
  const UniqueDir proc(::opendir("/proc"));
  if (!proc) return false;
  const std::uint32_t room = size_bytes / 4;
  std::uint32_t count = 0;
  while (count < room) {
    const dirent* entry = ::readdir(proc.get());
    if (entry == nullptr) break;
    if (const auto id = ProcessId(entry->d_name)) ids[count++] = *id;
  }
  bytes_returned = count * 4;
  return true;
}

Handle LinuxProcesses::OpenProcess(std::uint32_t, bool, std::uint32_t process_id) {
  const std::string path = "/proc/" + std::to_string(process_id);
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  return static_cast<Handle>(fd) + 1;
}

bool LinuxProcesses::EnumProcessModules(Handle process, Handle* modules, std::uint32_t size_bytes,
                                        std::uint32_t& bytes_needed) {
  char probe = 0;
  if (::readlinkat(FdOf(process), "exe", &probe, 1) < 0) return false;
  if (size_bytes >= sizeof(Handle)) modules[0] = kExecutableModule;
  bytes_needed = sizeof(Handle);
  return true;
}

std::uint32_t LinuxProcesses::GetModuleFileNameExA(Handle process, Handle module, std::string& buffer,
                                                   std::uint32_t size) {
  if (module != kExecutableModule) return 0;
  std::optional<std::string> path = ReadLinkAt(FdOf(process), "exe");
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
  const int saved = errno;
  const bool closed = ::close(FdOf(handle)) == 0;
  errno = saved;
  return closed;
}

}  // namespace vesk::platform::linux_backend
