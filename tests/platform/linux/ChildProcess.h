#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace vesk::test {

// A child process running `argv` (argv[0] is the file executed); killed and
// reaped when the object goes, on every path.
class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv) {
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execv(pointers[0], pointers.data());
      ::_exit(127);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(); }

  pid_t pid() const { return pid_; }
  // Kills and reaps the child; returns its wait status.
  int Stop() {
    if (pid_ <= 0) return status_;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
    return status_;
  }
  // Waits up to `tenths` tenths of a second for the child to exit by itself.
  bool ExitsWithin(int tenths) {
    for (int i = 0; i < tenths && pid_ > 0; ++i) {
      if (::waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
      else ::usleep(100000);
    }
    return pid_ <= 0;
  }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
};

}  // namespace vesk::test
