#pragma once

#include "platform/IWindows.h"

namespace vesk::platform {

// Holds a window session of `windows` for its own lifetime: begun on
// construction, ended on destruction, on every path.
class WindowSession {
 public:
  explicit WindowSession(IWindows& windows) : windows_(windows) { windows_.BeginSession(); }
  ~WindowSession() { windows_.EndSession(); }
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

 private:
  IWindows& windows_;
};

}  // namespace vesk::platform
