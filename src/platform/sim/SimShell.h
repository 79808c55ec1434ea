#pragma once

#include "platform/IShell.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// Records each start request and answers with a scripted outcome.
class SimShell : public IShell {
 public:
  explicit SimShell(SimLog& log) : log_(log) {}
  StartOutcome StartFile(WindowHandle owner, const std::optional<std::string>& operation, const std::string& file,
                         const std::optional<std::string>& parameters, const std::optional<std::string>& directory,
                         int show_command) override;
  // The outcome every later start reports.
  void set_outcome(StartOutcome outcome) { outcome_ = std::move(outcome); }

 private:
  SimLog& log_;
  StartOutcome outcome_;
};

}  // namespace vesk::platform::sim
