#include "platform/headless/HeadlessFileOpenDialog.h"

#include <utility>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk::platform::headless {

bool HeadlessFileOpenDialog::ShowOpen() {
  DialogScript::Step step = script_.Next();
  switch (step.answer) {
    case DialogScript::Answer::kChoose:
      file_name_ = std::move(step.path);
      return true;
    case DialogScript::Answer::kCancel:
      return false;
    case DialogScript::Answer::kFailToDisplay:
      break;
  }
  throw Failure(errors::kAccessRefused, "FileOpenDialog", "The file-open dialog cannot be displayed");
}

}  // namespace vesk::platform::headless
