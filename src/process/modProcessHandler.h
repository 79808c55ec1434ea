#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PlatformTypes.h"
#include "process/WindowList.h"

namespace vesk {

namespace platform {
class IProcesses;
class IMessagePump;
class IWindows;
}  // namespace platform

// Finds one top-level window of every process that runs a given executable.
// Keeps no state between calls; a nested call (from inside a dispatch of
// pending messages) has its own list, buffers, counter and handles.
class modProcessHandler {
 public:
  // One window per process whose executable path equals `path` up to letter
  // case and surrounding spaces, in scan order, then 0. A path the platform
  // reports as cut never matches. The process-status scan also takes a
  // process that the platform finds runs the file `path` names under another
  // path (on Linux: a link's target, the same file elsewhere, a program of an
  // application image).
  // Every failure is raised again with its number and source and the
  // description "ProcessInfo".
  static WindowList FindProcessWindows(std::string path);

  // A process the scan matched: its id and its executable's path as the
  // platform reported it (spaces trimmed).
  struct MatchedProcess {
    std::uint32_t id = 0;
    std::string path;
  };
  // The processes FindProcessWindows would match, by the same scan, without
  // looking at windows (no window session is opened). Failures as there.
  static std::vector<MatchedProcess> FindProcesses(std::string path);

  // The platform family: 1 tool-help scan, 2 process-status scan, else none.
  static std::int32_t GetPlatformId();

  // `s` without its last character; `s` must not be empty.
  static std::string StripLastChar(const std::string& s);

  // The first visible top-level window from the top of the Z-order that has
  // no owner and belongs to `process_id`; when it has none visible, the first
  // such window, hidden or not; 0 if none.
  static platform::WindowHandle FindTopLevelWindow(std::uint32_t process_id);

  // A process's comparison key: spaces trimmed, ASCII letters upper-cased,
  // then every NUL removed. The target's key is trimmed and upper-cased.
  static std::string ProcessKey(const std::string& name);
};

}  // namespace vesk
