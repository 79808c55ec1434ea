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

std::string ErrorText(int negative_errno) { return std::strerror(-negative_errno); }

// What is left of the budget as sd-bus's microseconds, rounded up: to
// sd_bus_call, 0 would mean its own default of 25 s.
std::uint64_t Microseconds(WaitBudget::Clock::duration left) {
  const auto rounded = std::chrono::ceil<std::chrono::microseconds>(left).count();
  return static_cast<std::uint64_t>(std::max<std::int64_t>(rounded, 1));
}

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
  const Result<const SdBusApi*> api = LoadSdBus();
  if (!api) return Connected::Fail(api.problem());
  sd_bus* raw = nullptr;
  // DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus. Connecting to a
  // local socket does not wait; the greeting is awaited below, in the budget.
  const int opened = (*api)->open_user(&raw);
  UniqueSdBus bus(raw);
  if (opened == -ENOMEDIUM) {
    return Connected::Fail("no session D-Bus is set (DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR are empty)");
  }
  if (opened < 0) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return Connected::Fail("no session D-Bus could be reached" +
                           (address != nullptr && *address != '\0' ? " at " + std::string(address) : std::string()) +
                           ": " + ErrorText(opened));
  }
  std::unique_ptr<KWinCompositor> kwin(new KWinCompositor(**api, std::move(bus), budget));
  if (!kwin->WaitUntilConnected() || !kwin->FindKWin()) return Connected::Fail(kwin->problem_);
  return std::unique_ptr<ICompositor>(std::move(kwin));
}

KWinCompositor::KWinCompositor(const SdBusApi& api, UniqueSdBus bus, WaitBudget& budget)
    : api_(api), budget_(budget), bus_(std::move(bus)) {}

std::string KWinCompositor::Name() const { return "KWin scripting on the session D-Bus"; }

bool KWinCompositor::WaitUntilConnected() {
  for (;;) {
    const int ready = api_.is_ready(bus_.get());
    if (ready > 0) break;
    int result = ready < 0 ? ready : api_.process(bus_.get(), nullptr);
    if (result == 0) {
      if (budget_.spent()) {
        problem_ = "the session D-Bus " + budget_.NoAnswer();
        return false;
      }
      const WaitBudget::Wait wait(budget_);
      result = api_.wait(bus_.get(), Microseconds(budget_.left()));
    }
    if (result < 0) {
      problem_ = "the session D-Bus connection failed: " + ErrorText(result);
      return false;
    }
  }
  const char* name = nullptr;
  const int named = api_.get_unique_name(bus_.get(), &name);
  if (named < 0) {
    problem_ = "the session D-Bus gave no name: " + ErrorText(named);
    return false;
  }
  our_name_ = name;
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
  const int added = api_.add_object_vtable(bus_.get(), &slot, kAnswerPath, kAnswerInterface, answer_vtable, this);
  answer_object_.reset(slot);
  if (added < 0) {
    problem_ = "cannot offer an object on the session D-Bus: " + ErrorText(added);
    return false;
  }
  return true;
}

bool KWinCompositor::FindKWin() {
  sd_bus_message* raw = nullptr;
  int result = api_.message_new_method_call(bus_.get(), &raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus", "GetNameOwner");
  UniqueSdBusMessage call(raw);
  if (result >= 0) result = api_.message_append(call.get(), "s", kKWin);
  if (result < 0) {
    problem_ = std::string("the session D-Bus could not be asked who owns ") + kKWin + ": " + ErrorText(result);
    return false;
  }
  UniqueSdBusMessage reply;
  if (!Call(call.get(), reply, "the session D-Bus ", "")) {
    if (problem_.find("NameHasNoOwner") != std::string::npos)
      problem_ = std::string("no program owns ") + kKWin + " on the session D-Bus";
    return false;
  }
  const char* owner = nullptr;
  result = api_.message_read(reply.get(), "s", &owner);
  if (result < 0) {
    problem_ = std::string("the session D-Bus answered an unreadable owner of ") + kKWin;
    return false;
  }
  kwin_owner_ = owner;
  return true;
}

bool KWinCompositor::Call(sd_bus_message* call, UniqueSdBusMessage& reply, const std::string& subject,
                          const std::string& what) {
  const std::string asked = what.empty() ? std::string() : " when asked to " + what;
  if (budget_.spent()) {
    problem_ = subject + budget_.NoAnswer() + asked;
    return false;
  }
  SdBusError error;
  sd_bus_message* raw = nullptr;
  int result = 0;
  {
    const WaitBudget::Wait wait(budget_);
    result = api_.call(bus_.get(), call, Microseconds(budget_.left()), error.get(), &raw);
  }
  reply.reset(raw);
  if (result >= 0) return true;
  const std::string to = what.empty() ? std::string() : " to " + what;
  if (result == -ETIMEDOUT) {
    problem_ = subject + budget_.NoAnswer() + asked;
    budget_.Spend(budget_.left());
  } else if (api_.error_is_set(error.get())) {
    problem_ = subject + "refused" + to + ": " + error.get()->name + ": " +
               (error.get()->message != nullptr ? error.get()->message : "");
  } else {
    problem_ = subject + "could not be asked" + to + ": " + ErrorText(result);
  }
  return false;
}

bool KWinCompositor::ListViews(std::vector<CompositorView>& views) {
  const std::string token = NewToken();
  std::string answer;
  const KWinScript::ReplyTo reply_to{our_name_, kAnswerPath, kAnswerInterface, kAnswerMethod};
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
  const KWinScript::ReplyTo reply_to{our_name_, kAnswerPath, kAnswerInterface, kAnswerMethod};
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
  int result = api_.message_new_method_call(bus_.get(), &raw, kwin_owner_.c_str(), "/Scripting",
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
  result = api_.message_new_method_call(bus_.get(), &raw, kwin_owner_.c_str(), script_path.c_str(),
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
    int result = api_.process(bus_.get(), nullptr);
    if (result == 0) {
      if (!budget_.spent()) {
        const WaitBudget::Wait wait(budget_);
        result = api_.wait(bus_.get(), Microseconds(budget_.left()));
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
  if (api_.message_new_method_call(bus_.get(), &raw, kwin_owner_.c_str(), "/Scripting", "org.kde.kwin.Scripting",
                                   "unloadScript") < 0)
    return;
  UniqueSdBusMessage unload(raw);
  if (api_.message_append(unload.get(), "s", plugin.c_str()) < 0) return;
  api_.message_set_expect_reply(unload.get(), 0);
  api_.send(bus_.get(), unload.get(), nullptr);
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
