#pragma once

#include <string>

#include "platform/linux/posix/Result.h"

namespace vesk::platform::linux_backend {

// A file of ours that only this user can read (mode 0600, a name no one else
// can take, in a folder only this user can enter), holding text for another
// program of the same user; removed when destroyed, with the folder made for it.
class PrivateFile {
 public:
  PrivateFile() = default;
  ~PrivateFile();
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;

  // Creates the file, with a name ending in `suffix`, in `folder` when that
  // is a real folder (not a link) owned by this user with mode 0700, else in
  // a fresh folder of its own under /tmp; writes `text`. A failure says
  // which step failed.
  Done Create(const std::string& folder, const std::string& suffix, const std::string& text);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string own_folder_;  // the fresh folder, when one was made
};

}  // namespace vesk::platform::linux_backend
