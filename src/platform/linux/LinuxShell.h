#pragma once

#include "platform/IShell.h"

namespace vesk::platform::linux_backend {

// Starts programs and opens files on Linux.
//  - `file` naming an executable (a path, or a bare name found on PATH) is
//    spawned directly, with `parameters` split by POSIX shell quoting rules
//    (single quotes, double quotes, backslash) but never run through a shell;
//  - anything else that exists is opened with `xdg-open` (looked up on PATH),
//    given its absolute path as the only operand; a URL is given as it is;
//    `parameters` are ignored for both;
//  - `directory` becomes the working directory of the started process.
// The start never waits for the program and leaves no zombie behind.
class LinuxShell : public IShell {
 public:
  StartOutcome StartFile(WindowHandle owner, const std::optional<std::string>& operation, const std::string& file,
                         const std::optional<std::string>& parameters, const std::optional<std::string>& directory,
                         int show_command) override;
};

}  // namespace vesk::platform::linux_backend
