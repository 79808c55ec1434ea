#pragma once

#include <string>

namespace vesk::platform::linux_backend {

// A file of ours that only this user can read (mode 0600, a name no one else
// can take), holding text for another program of the same user; removed when
// destroyed.
class PrivateFile {
 public:
  PrivateFile() = default;
  ~PrivateFile();
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;

  // Creates the file in `folder` with a name ending in `suffix` and writes
  // `text`; false (with `problem` set) when that failed.
  bool Create(const std::string& folder, const std::string& suffix, const std::string& text, std::string& problem);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vesk::platform::linux_backend
