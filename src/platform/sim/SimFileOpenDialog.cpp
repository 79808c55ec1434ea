#include "platform/sim/SimFileOpenDialog.h"

#include <utility>

#include "host/Failure.h"

namespace vesk::platform::sim {

SimFileOpenDialog::SimFileOpenDialog(std::string id, headless::DialogScript& script, SimLog& log)
    : HeadlessFileOpenDialog(script), id_(std::move(id)), log_(log) {}

void SimFileOpenDialog::SetFlags(int flags) {
  log_.Record("SetFlags", {id_, std::to_string(flags)});
  HeadlessFileOpenDialog::SetFlags(flags);
}

void SimFileOpenDialog::SetFilter(const std::string& filter) {
  log_.Record("SetFilter", {id_, filter});
  HeadlessFileOpenDialog::SetFilter(filter);
}

bool SimFileOpenDialog::ShowOpen() {
  try {
    const bool confirmed = HeadlessFileOpenDialog::ShowOpen();
    log_.Record("ShowOpen", {id_, confirmed ? "chose " + FileName() : "cancelled"});
    return confirmed;
  } catch (const Failure&) {
    log_.Record("ShowOpen", {id_, "failed"});
    throw;
  }
}

}  // namespace vesk::platform::sim
