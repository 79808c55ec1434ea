#include "platform/linux/posix/PrivateFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {

PrivateFile::~PrivateFile() {
  if (!path_.empty()) {
    const int saved = errno;
    ::unlink(path_.c_str());
    errno = saved;
  }
}

bool PrivateFile::Create(const std::string& folder, const std::string& suffix, const std::string& text,
                         std::string& problem) {
  std::string name = folder + "/vesk-XXXXXX" + suffix;
  UniqueFd fd(::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC));  // mode 0600
  if (!fd) {
    problem = "cannot create a file in " + folder + ": " + std::strerror(errno);
    return false;
  }
  path_ = name;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t written = ::write(fd.get(), text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      problem = "cannot write " + name + ": " + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace vesk::platform::linux_backend
