#include "platform/linux/posix/PrivateFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {
namespace {

// A folder only this user can enter: a directory itself (lstat: a link does
// not count, whatever it points at), owned by the effective user, mode 0700.
bool OnlyOurs(const std::string& folder) {
  struct stat status {};
  return !folder.empty() && ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::geteuid() && (status.st_mode & 07777) == 0700;
}

}  // namespace

PrivateFile::~PrivateFile() {
  const int saved = errno;
  if (!path_.empty()) ::unlink(path_.c_str());
  if (!own_folder_.empty()) ::rmdir(own_folder_.c_str());
  errno = saved;
}

Done PrivateFile::Create(const std::string& folder, const std::string& suffix, const std::string& text) {
  std::string where = folder;
  if (!OnlyOurs(folder)) {
    std::string fresh = "/tmp/vesk-XXXXXX";
    if (::mkdtemp(fresh.data()) == nullptr) {  // mode 0700
      return Done::Fail(std::string("cannot create a folder in /tmp: ") + std::strerror(errno));
    }
    own_folder_ = where = fresh;
  }
  std::string name = where + "/vesk-XXXXXX" + suffix;
  UniqueFd fd(::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC));  // mode 0600
  if (!fd) {
    return Done::Fail("cannot create a file in " + where + ": " + std::strerror(errno));
  }
  path_ = name;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t written = ::write(fd.get(), text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      return Done::Fail("cannot write " + name + ": " + std::strerror(errno));
    }
    done += static_cast<std::size_t>(written);
  }
  return {};
}

}  // namespace vesk::platform::linux_backend
