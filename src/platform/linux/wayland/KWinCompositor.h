#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/wayland/ICompositor.h"
#include "platform/linux/wayland/SdBusResources.h"

namespace vesk::platform::linux_backend {

// KWin of Plasma 5.27 (Wayland) through its scripting interface on the
// session D-Bus: each question is a small script that KWin loads from a
// private file, runs and unloads; the script answers with a D-Bus call to an
// object of ours. One bus connection per session; connecting and every
// reply share 5 s of waiting.
class KWinCompositor : public ICompositor {
 public:
  // Null (with `problem` set) when there is no session bus, no KWin on it,
  // or the bus does not answer in time.
  static std::unique_ptr<ICompositor> Connect(WaitBudget& budget, std::string& problem);

  ~KWinCompositor() override = default;
  KWinCompositor(const KWinCompositor&) = delete;
  KWinCompositor& operator=(const KWinCompositor&) = delete;

  std::string Name() const override;
  bool ListViews(std::vector<CompositorView>& views) override;
  bool RequestClose(const CompositorView& view) override;
  const std::string& problem() const override { return problem_; }

 private:
  using Budget = std::chrono::microseconds;

  explicit KWinCompositor(UniqueSdBus bus);
  bool WaitUntilConnected();
  bool FindKWin();
  bool Call(sd_bus_message* call, UniqueSdBusMessage& reply, const std::string& what);
  // Loads `script` (built for `token`), runs it and waits for its answer.
  bool RunScript(const std::string& script, const std::string& token, std::string& answer);
  bool WaitForAnswer();
  void Unload(const std::string& plugin);
  // Starts timing a wait; false (problem set) when the budget is spent.
  bool BudgetLeft();
  void Spend(std::chrono::steady_clock::time_point began);
  bool TimedOut();
  static int OnAnswer(sd_bus_message* message, void* self, sd_bus_error* error);

  UniqueSdBus bus_;
  UniqueSdBusSlot answer_object_;
  std::string kwin_owner_;  // KWin's unique name: answers come only from it
  std::string our_name_;
  std::string expected_token_;
  std::string answer_;
  bool answered_ = false;
  Budget left_;
  std::string problem_;
};

}  // namespace vesk::platform::linux_backend
