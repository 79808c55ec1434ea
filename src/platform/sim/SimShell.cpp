#include "platform/sim/SimShell.h"

namespace vesk::platform::sim {

StartOutcome SimShell::StartFile(WindowHandle owner, const std::optional<std::string>& operation,
                                 const std::string& file, const std::optional<std::string>& parameters,
                                 const std::optional<std::string>& directory, int show_command) {
  if (log_.recording()) {
    log_.Record("StartFile", {std::to_string(owner), OrNull(operation ? &*operation : nullptr), file,
                            OrNull(parameters ? &*parameters : nullptr), OrNull(directory ? &*directory : nullptr),
                            std::to_string(show_command)});
  } else {
    log_.Record("StartFile", {});  // counted, so that a fault can still be put here
  }
  return outcome_;
}

}  // namespace vesk::platform::sim
