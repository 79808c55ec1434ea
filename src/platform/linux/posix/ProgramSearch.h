#pragma once

#include <optional>
#include <string>

namespace vesk::platform::linux_backend {

// How a bare program name becomes a path, the same for starting and ending.
class ProgramSearch {
 public:
  // Whether `path` is a regular file this process may execute.
  static bool IsExecutableFile(const std::string& path);
  // `path` made absolute against the current directory (unchanged when it is
  // absolute or the directory cannot be read).
  static std::string Absolute(const std::string& path);
  // The first executable regular file called `name` in the PATH folders (an
  // empty entry is the current directory), made absolute; PATH unset
  // searches /bin:/usr/bin.
  static std::optional<std::string> FindOnPath(const std::string& name);
};

}  // namespace vesk::platform::linux_backend
