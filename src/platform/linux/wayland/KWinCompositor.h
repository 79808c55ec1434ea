#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/posix/Result.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/wayland/ICompositor.h"
#include "platform/linux/wayland/SdBusResources.h"
#include "platform/linux/wayland/SessionBus.h"

namespace vesk::platform::linux_backend {

// KWin of Plasma 5.27 (Wayland) through its scripting interface on the
// session D-Bus: each question is a small script that KWin loads from a
// private file, runs and unloads; the script answers with a D-Bus call to an
// object of ours. One bus connection per session. libsystemd (sd-bus) is
// loaded at the first connection. Problems after connecting follow the
// route's Name(); those of Connect follow the caller's mention of KWin.
class KWinCompositor : public ICompositor {
 public:
  // Fails when libsystemd cannot be loaded, there is no session bus, no
  // KWin on it, or the bus does not answer in time. Every wait, connecting
  // and each reply, is charged to `budget`, which the caller owns and keeps
  // for longer than the compositor.
  static Result<std::unique_ptr<ICompositor>> Connect(WaitBudget& budget);

  ~KWinCompositor() override = default;
  KWinCompositor(const KWinCompositor&) = delete;
  KWinCompositor& operator=(const KWinCompositor&) = delete;

  std::string Name() const override;
  bool ListViews(std::vector<CompositorView>& views) override;
  bool RequestClose(const CompositorView& view) override;
  const std::string& problem() const override { return problem_; }

 private:
  explicit KWinCompositor(SessionBus bus);
  bool OfferAnswerObject();
  bool FindKWin();
  // Sends `call` and waits for its reply. A failure's problem starts with
  // `subject` and, when `what` is set, says that it was asked to `what`.
  bool Call(sd_bus_message* call, UniqueSdBusMessage& reply, const std::string& subject, const std::string& what);
  // Loads `script` (built for `token`), runs it and waits for its answer.
  bool RunScript(const std::string& script, const std::string& token, std::string& answer);
  bool WaitForAnswer();
  void Unload(const std::string& plugin);
  static int OnAnswer(sd_bus_message* message, void* self, sd_bus_error* error);

  SessionBus session_;
  const SdBusApi& api_;
  WaitBudget& budget_;
  sd_bus* const bus_;  // session_'s
  UniqueSdBusSlot answer_object_;
  std::string kwin_owner_;  // KWin's unique name: answers come only from it
  std::string expected_token_;
  std::string answer_;
  bool answered_ = false;
  std::string problem_;
};

}  // namespace vesk::platform::linux_backend
