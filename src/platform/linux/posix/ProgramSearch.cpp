#include "platform/linux/posix/ProgramSearch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace vesk::platform::linux_backend {

bool ProgramSearch::IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string ProgramSearch::Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? path : (cwd / path).string();
}

std::optional<std::string> ProgramSearch::FindOnPath(const std::string& name) {
  const char* env = std::getenv("PATH");
  const std::string_view path = env != nullptr ? env : "/bin:/usr/bin";
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(':', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view folder = path.substr(start, end - start);
    const std::string candidate = (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
    if (IsExecutableFile(candidate)) return Absolute(candidate);
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace vesk::platform::linux_backend
