#pragma once

#include <deque>
#include <string>

namespace vesk::platform::headless {

// What a headless file-open dialog answers, one step per display, in order.
// Nobody sits at a headless dialog, so without a step left it cancels.
class DialogScript {
 public:
  enum class Answer { kChoose, kCancel, kFailToDisplay };
  struct Step {
    Answer answer;
    std::string path;  // the file chosen, for kChoose
  };

  // The next display confirms `path`.
  void Choose(std::string path);
  // The next display is cancelled.
  void Cancel();
  // The next display fails.
  void FailToDisplay();
  // Takes the next step; a cancel when none is left.
  Step Next();
  // Steps not yet taken.
  std::size_t pending() const { return steps_.size(); }

 private:
  std::deque<Step> steps_;
};

}  // namespace vesk::platform::headless
