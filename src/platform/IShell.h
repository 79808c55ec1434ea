#pragma once

#include <optional>
#include <string>

#include "platform/PlatformTypes.h"

namespace vesk::platform {

// What the platform said of a start request.
struct StartOutcome {
  enum class Result { kStarted, kFileNotFound, kPathNotFound, kRefused };
  Result result = Result::kStarted;
  std::string reason;  // the platform's own words when the start failed
};

// Starts a program or opens a file with the platform's shell.
class IShell {
 public:
  virtual ~IShell() = default;
  // The shell's start call. `operation` absent is the file's default action;
  // `parameters` and `directory` absent mean none given (the directory then
  // stays the caller's). Never waits for the started program.
  virtual StartOutcome StartFile(WindowHandle owner, const std::optional<std::string>& operation,
                                 const std::string& file, const std::optional<std::string>& parameters,
                                 const std::optional<std::string>& directory, int show_command) = 0;
};

inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

}  // namespace vesk::platform
