#pragma once

#include "platform/IWindows.h"

namespace vesk::platform {

// Holds a window session of `windows` for its own lifetime: begun on
// construction, ended on destruction, on every path. Ending is a release
// with nobody to report to: a failure there (or its out of memory) is
// dropped rather than left to escape a destructor.
class WindowSession {
 public:
  explicit WindowSession(IWindows& windows) : windows_(windows) { windows_.BeginSession(); }
  ~WindowSession() {
    try {
      windows_.EndSession();
    } catch (...) {
    }
  }
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

 private:
  IWindows& windows_;
};

}  // namespace vesk::platform
