#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vesk::platform::linux_backend {

// Starts a program that outlives the caller: through a double fork (the
// intermediate child is reaped at once, so no zombie stays behind), in a
// session of its own, with stdin, stdout and stderr on /dev/null (so it holds
// no pipe of the caller open), and no other descriptor inherited. A file the
// kernel cannot execute (ENOEXEC) runs as `/bin/sh FILE ARGS...` when it is a
// script without "#!" (no ELF file, no NUL byte in its first line); any other
// fails at the exec with ENOEXEC. Waits only until the exec succeeded
// or failed, never for the program itself, and never changes the caller's
// working directory.
class DetachedSpawn {
 public:
  struct Request {
    std::string path;                       // the file to execute
    std::vector<std::string> argv;          // the whole argument vector, argv[0] included
    std::optional<std::string> directory;  // working directory of the program
  };
  struct Outcome {
    enum class Step { kNone, kSetup, kFork, kChdir, kExec };
    Step failed = Step::kNone;  // kNone: the program is running
    int error = 0;              // errno of the failed step
  };

  static Outcome Start(const Request& request);
};

}  // namespace vesk::platform::linux_backend
