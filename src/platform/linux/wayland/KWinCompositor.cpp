#include "platform/linux/wayland/KWinCompositor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/linux/posix/PrivateFile.h"
#include "platform/linux/wayland/KWinScript.h"

namespace vesk::platform::linux_backend {
namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kAnswerPath = "/vesk/KWinAnswer";
constexpr const char* kAnswerInterface = "vesk.KWinAnswer";
constexpr const char* kAnswerMethod = "Answer";

std::string ErrorText(int negative_errno) { return SessionBus::ErrorText(negative_errno); }
std::uint64_t Microseconds(WaitBudget::Clock::duration left) { return SessionBus::Microseconds(left); }

// A fresh random token for a script's answer (and the name of its plug-in).
std::string NewToken() {
  std::random_device random;
  const std::uint64_t value = (std::uint64_t{random()} << 32) ^ random();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

Result<std::unique_ptr<ICompositor>> KWinCompositor::Connect(WaitBudget& budget) {
  using Connected = Result<std::unique_ptr<ICompositor>>;
  Result<SessionBus> bus = SessionBus::Open(budget);
  if (!bus) return Connected::Fail(bus.problem());
  std::unique_ptr<KWinCompositor> kwin(new KWinCompositor(std::move(*bus)));
  if (!kwin->OfferAnswerObject() || !kwin->FindKWin()) return Connected::Fail(kwin->problem_);
  return std::unique_ptr<ICompositor>(std::move(kwin));
}

KWinCompositor::KWinCompositor(SessionBus bus)
    : session_(std::move(bus)), api_(session_.api()), budget_(session_.budget()), bus_(session_.get()) {}

std::string KWinCompositor::Name() const { return "KWin scripting on the session D-Bus"; }

bool KWinCompositor::OfferAnswerObject() {
  // SD_BUS_VTABLE_START's entry, but pointing at the loaded library's format
  // variable (the macro would link against libsystemd's).
  static const sd_bus_vtable answer_vtable[] = {
      {.type = _SD_BUS_VTABLE_START,
       .flags = 0,
       .x = {.start = {.element_size = sizeof(sd_bus_vtable),
                       .features = _SD_BUS_VTABLE_PARAM_NAMES,
                       .vtable_format_reference = api_.object_vtable_format}}},
      SD_BUS_METHOD("Answer", "ss", "", &KWinCompositor::OnAnswer, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };
  sd_bus_slot* slot = nullptr;
  const int added = api_.add_object_vtable(bus_, &slot, kAnswerPath, kAnswerInterface, answer_vtable, this);
  answer_object_.reset(slot);
  if (added < 0) {
    problem_ = "cannot offer an object on the session D-Bus: " + ErrorText(added);
    return false;
  }
  return true;
}

bool KWinCompositor::FindKWin() {
  Result<std::string> owner = session_.NameOwner(kKWin);
  if (!owner) {
    problem_ = owner.problem();
    return false;
  }
  kwin_owner_ = std::move(*owner);
  return true;
}

bool KWinCompositor::Call(sd_bus_message* call, UniqueSdBusMessage& reply, const std::string& subject,
                          const std::string& what) {
  return session_.Call(call, reply, subject, what, problem_);
}

bool KWinCompositor::ListViews(std::vector<CompositorView>& views) {
  const std::string token = NewToken();
  std::string answer;
  const KWinScript::ReplyTo reply_to{session_.name(), kAnswerPath, kAnswerInterface, kAnswerMethod};
  if (!RunScript(KWinScript::Listing(reply_to, token), token, answer)) return false;
  Result<std::vector<CompositorView>> read = KWinScript::ReadViews(answer);
  if (!read) {
    problem_ = read.problem();
    return false;
  }
  views = std::move(*read);
  return true;
}

bool KWinCompositor::RequestClose(const CompositorView& view) {
  const std::string token = NewToken();
  std::string answer;
  const KWinScript::ReplyTo reply_to{session_.name(), kAnswerPath, kAnswerInterface, kAnswerMethod};
  if (!RunScript(KWinScript::Close(reply_to, token, view.id), token, answer)) return false;
  const Result<bool> closed = KWinScript::ReadClosed(answer);
  if (!closed) {
    problem_ = closed.problem();
    return false;
  }
  if (!*closed) problem_ = "has no window " + view.id + " that can be closed";
  return *closed;
}

bool KWinCompositor::RunScript(const std::string& script, const std::string& token, std::string& answer) {
  // KWin (the same user) reads the file; no one else can.
  PrivateFile file;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const Done created = file.Create(runtime != nullptr ? runtime : "", ".js", script);
  if (!created) {
    problem_ = "could not be given a script: " + created.problem();
    return false;
  }
  const std::string plugin = "vesk-" + token;
  sd_bus_message* raw = nullptr;
  int result = api_.message_new_method_call(bus_, &raw, kwin_owner_.c_str(), "/Scripting",
                                            "org.kde.kwin.Scripting", "loadScript");
  UniqueSdBusMessage load(raw);
  if (result >= 0) result = api_.message_append(load.get(), "ss", file.path().c_str(), plugin.c_str());
  UniqueSdBusMessage reply;
  if (result < 0) {
    problem_ = "could not be asked to load a script: " + ErrorText(result);
    return false;
  }
  // Unloaded whatever the answer: a KWin that answers late may still load it.
  if (!Call(load.get(), reply, "", "load a script")) {
    Unload(plugin);
    return false;
  }
  std::int32_t id = -1;
  if (api_.message_read(reply.get(), "i", &id) < 0 || id < 0) {
    problem_ = "did not load a script";
    Unload(plugin);
    return false;
  }
  // Plasma 5.27 offers each loaded script at /<id> (Plasma 6 moved it).
  const std::string script_path = "/" + std::to_string(id);
  raw = nullptr;
  result = api_.message_new_method_call(bus_, &raw, kwin_owner_.c_str(), script_path.c_str(),
                                        "org.kde.kwin.Script", "run");
  UniqueSdBusMessage run(raw);
  expected_token_ = token;
  answered_ = false;
  const bool ok = result >= 0 && Call(run.get(), reply, "", "run a script") && WaitForAnswer();
  if (result < 0) problem_ = "could not be asked to run a script: " + ErrorText(result);
  expected_token_.clear();
  Unload(plugin);
  if (ok) answer = std::move(answer_);
  return ok;
}

bool KWinCompositor::WaitForAnswer() {
  while (!answered_) {
    int result = api_.process(bus_, nullptr);
    if (result == 0) {
      if (!budget_.spent()) {
        const WaitBudget::Wait wait(budget_);
        result = api_.wait(bus_, Microseconds(budget_.left()));
      }
      // Nothing came within what was left: the budget is gone.
      if (result == 0) {
        budget_.Spend(budget_.left());
        problem_ = budget_.NoAnswer() + " when running a script";
        return false;
      }
    }
    if (result < 0) {
      problem_ = "lost its connection: " + ErrorText(result);
      return false;
    }
  }
  return true;
}

// The script has answered (or will not): KWin may forget it. Sent without
// waiting, so an unresponsive KWin costs nothing more here.
void KWinCompositor::Unload(const std::string& plugin) {
  sd_bus_message* raw = nullptr;
  if (api_.message_new_method_call(bus_, &raw, kwin_owner_.c_str(), "/Scripting", "org.kde.kwin.Scripting",
                                   "unloadScript") < 0)
    return;
  UniqueSdBusMessage unload(raw);
  if (api_.message_append(unload.get(), "s", plugin.c_str()) < 0) return;
  api_.message_set_expect_reply(unload.get(), 0);
  api_.send(bus_, unload.get(), nullptr);
}

int KWinCompositor::OnAnswer(sd_bus_message* message, void* self, sd_bus_error* /*error*/) {
  auto& kwin = *static_cast<KWinCompositor*>(self);
  const SdBusApi& api = kwin.api_;
  const char* token = nullptr;
  const char* text = nullptr;
  const char* sender = api.message_get_sender(message);
  if (api.message_read(message, "ss", &token, &text) >= 0 && sender != nullptr && kwin.kwin_owner_ == sender &&
      !kwin.expected_token_.empty() && kwin.expected_token_ == token) {
    kwin.answer_ = text;
    kwin.answered_ = true;
  }
  return api.reply_method_return(message, "");
}

}  // namespace vesk::platform::linux_backend
