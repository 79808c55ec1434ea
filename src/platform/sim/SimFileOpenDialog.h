#pragma once

#include <string>

#include "platform/headless/HeadlessFileOpenDialog.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// A headless dialog that records SetFlags {id, flags}, SetFilter {id,
// filter} and ShowOpen {id, "chose <path>" | "cancelled" | "failed"}.
class SimFileOpenDialog : public headless::HeadlessFileOpenDialog {
 public:
  SimFileOpenDialog(std::string id, headless::DialogScript& script, SimLog& log);
  void SetFlags(int flags) override;
  void SetFilter(const std::string& filter) override;
  bool ShowOpen() override;

 private:
  std::string id_;
  SimLog& log_;
};

}  // namespace vesk::platform::sim
