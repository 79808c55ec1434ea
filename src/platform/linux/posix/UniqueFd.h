#pragma once

#include <unistd.h>

#include "platform/UniqueResource.h"

namespace vesk::platform::linux_backend {

struct FdCloser {
  void operator()(int fd) const noexcept { ::close(fd); }
};
// Owns one file descriptor (-1 is empty) and closes it when destroyed,
// keeping errno.
using UniqueFd = UniqueResource<int, FdCloser, -1>;

}  // namespace vesk::platform::linux_backend
