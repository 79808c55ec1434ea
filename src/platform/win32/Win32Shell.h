#pragma once

#include "platform/IShell.h"

namespace vesk::platform::win32 {

// Starts programs and opens files with the shell's ShellExecuteW; texts are
// handed over in UTF-16, so paths outside the ANSI code page survive.
class Win32Shell : public IShell {
 public:
  StartOutcome StartFile(WindowHandle owner, const std::optional<std::string>& operation, const std::string& file,
                         const std::optional<std::string>& parameters, const std::optional<std::string>& directory,
                         int show_command) override;

  // The outcome for ShellExecute's return value `code` (above 32 is a
  // start), with `last_error` the thread's error code just after the call.
  static StartOutcome OutcomeOf(std::intptr_t code, unsigned long last_error);
};

}  // namespace vesk::platform::win32
