#include "platform/linux/wayland/KWinCompositor.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/linux/wayland/KWinScript.h"
#include "platform/linux/posix/PrivateFile.h"

namespace vesk::platform::linux_backend {
namespace {

constexpr std::chrono::seconds kBudget{5};
constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kAnswerPath = "/vesk/KWinAnswer";
constexpr const char* kAnswerInterface = "vesk.KWinAnswer";
constexpr const char* kAnswerMethod = "Answer";

std::string ErrorText(int negative_errno) { return std::strerror(-negative_errno); }

// A fresh random token for a script's answer (and the name of its plug-in).
std::string NewToken() {
  std::random_device random;
  const std::uint64_t value = (std::uint64_t{random()} << 32) ^ random();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Where the script file goes: the user's runtime folder, which KWin (the
// same user) can read and no one else can.
std::string ScriptFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
}

}  // namespace

std::unique_ptr<ICompositor> KWinCompositor::Connect(WaitBudget& budget, std::string& problem) {
  (void)budget;
  sd_bus* raw = nullptr;
  // DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus. Connecting to a
  // local socket does not wait; the greeting is awaited below, in the budget.
  const int opened = sd_bus_open_user(&raw);
  UniqueSdBus bus(raw);
  if (opened == -ENOMEDIUM) {
    problem = "no session D-Bus is set (DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR are empty)";
    return nullptr;
  }
  if (opened < 0) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    problem = "no session D-Bus could be reached" +
              (address != nullptr && *address != '\0' ? " at " + std::string(address) : std::string()) + ": " +
              ErrorText(opened);
    return nullptr;
  }
  std::unique_ptr<KWinCompositor> kwin(new KWinCompositor(std::move(bus)));
  if (!kwin->WaitUntilConnected() || !kwin->FindKWin()) {
    problem = kwin->problem_;
    return nullptr;
  }
  return kwin;
}

KWinCompositor::KWinCompositor(UniqueSdBus bus) : bus_(std::move(bus)), left_(kBudget) {}

std::string KWinCompositor::Name() const { return "KWin scripting on the session D-Bus"; }

bool KWinCompositor::BudgetLeft() {
  if (left_.count() > 0) return true;
  problem_ = "KWin did not answer within 5 s";
  return false;
}

void KWinCompositor::Spend(std::chrono::steady_clock::time_point began) {
  left_ -= std::chrono::duration_cast<Budget>(std::chrono::steady_clock::now() - began);
}

bool KWinCompositor::TimedOut() {
  left_ = Budget::zero();
  return BudgetLeft();
}

bool KWinCompositor::WaitUntilConnected() {
  for (;;) {
    const int ready = sd_bus_is_ready(bus_.get());
    if (ready > 0) break;
    int result = ready < 0 ? ready : sd_bus_process(bus_.get(), nullptr);
    if (result == 0) {
      if (!BudgetLeft()) {
        problem_ = "the session D-Bus did not answer within 5 s";
        return false;
      }
      const auto began = std::chrono::steady_clock::now();
      result = sd_bus_wait(bus_.get(), static_cast<std::uint64_t>(left_.count()));
      Spend(began);
    }
    if (result < 0) {
      problem_ = "the session D-Bus connection failed: " + ErrorText(result);
      return false;
    }
  }
  const char* name = nullptr;
  const int named = sd_bus_get_unique_name(bus_.get(), &name);
  if (named < 0) {
    problem_ = "the session D-Bus gave no name: " + ErrorText(named);
    return false;
  }
  our_name_ = name;
  static const sd_bus_vtable answer_vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Answer", "ss", "", &KWinCompositor::OnAnswer, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };
  sd_bus_slot* slot = nullptr;
  const int added = sd_bus_add_object_vtable(bus_.get(), &slot, kAnswerPath, kAnswerInterface, answer_vtable, this);
  answer_object_.reset(slot);
  if (added < 0) {
    problem_ = "cannot offer an object on the session D-Bus: " + ErrorText(added);
    return false;
  }
  return true;
}

bool KWinCompositor::FindKWin() {
  sd_bus_message* raw = nullptr;
  int result = sd_bus_message_new_method_call(bus_.get(), &raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                              "org.freedesktop.DBus", "GetNameOwner");
  UniqueSdBusMessage call(raw);
  if (result >= 0) result = sd_bus_message_append(call.get(), "s", kKWin);
  if (result < 0) {
    problem_ = "cannot ask the session D-Bus for KWin: " + ErrorText(result);
    return false;
  }
  UniqueSdBusMessage reply;
  if (!Call(call.get(), reply, "the session D-Bus")) {
    if (problem_.find("NameHasNoOwner") != std::string::npos)
      problem_ = std::string("no KWin on the session D-Bus (") + kKWin + " has no owner)";
    return false;
  }
  const char* owner = nullptr;
  result = sd_bus_message_read(reply.get(), "s", &owner);
  if (result < 0) {
    problem_ = "the session D-Bus answered an unreadable owner of org.kde.KWin";
    return false;
  }
  kwin_owner_ = owner;
  return true;
}

bool KWinCompositor::Call(sd_bus_message* call, UniqueSdBusMessage& reply, const std::string& what) {
  if (!BudgetLeft()) return false;
  SdBusError error;
  sd_bus_message* raw = nullptr;
  const auto began = std::chrono::steady_clock::now();
  const int result = sd_bus_call(bus_.get(), call, static_cast<std::uint64_t>(left_.count()), error.get(), &raw);
  Spend(began);
  reply.reset(raw);
  if (result >= 0) return true;
  if (result == -ETIMEDOUT) {
    problem_ = what + " did not answer within 5 s";
    left_ = Budget::zero();
  } else if (sd_bus_error_is_set(error.get())) {
    problem_ = what + " refused: " + error.get()->name + ": " + (error.get()->message ? error.get()->message : "");
  } else {
    problem_ = what + " could not be asked: " + ErrorText(result);
  }
  return false;
}

bool KWinCompositor::ListViews(std::vector<CompositorView>& views) {
  const std::string token = NewToken();
  std::string answer;
  const KWinScript::ReplyTo reply_to{our_name_, kAnswerPath, kAnswerInterface, kAnswerMethod};
  return RunScript(KWinScript::Listing(reply_to, token), token, answer) &&
         KWinScript::ReadViews(answer, views, problem_);
}

bool KWinCompositor::RequestClose(const CompositorView& view) {
  const std::string token = NewToken();
  std::string answer;
  const KWinScript::ReplyTo reply_to{our_name_, kAnswerPath, kAnswerInterface, kAnswerMethod};
  bool closed = false;
  if (!RunScript(KWinScript::Close(reply_to, token, view.id), token, answer) ||
      !KWinScript::ReadClosed(answer, closed, problem_))
    return false;
  if (!closed) problem_ = "KWin has no window " + view.id + " that can be closed";
  return closed;
}

bool KWinCompositor::RunScript(const std::string& script, const std::string& token, std::string& answer) {
  PrivateFile file;
  if (!file.Create(ScriptFolder(), ".js", script, problem_)) return false;
  const std::string plugin = "vesk-" + token;
  sd_bus_message* raw = nullptr;
  int result = sd_bus_message_new_method_call(bus_.get(), &raw, kwin_owner_.c_str(), "/Scripting",
                                              "org.kde.kwin.Scripting", "loadScript");
  UniqueSdBusMessage load(raw);
  if (result >= 0) result = sd_bus_message_append(load.get(), "ss", file.path().c_str(), plugin.c_str());
  UniqueSdBusMessage reply;
  if (result < 0) {
    problem_ = "cannot ask KWin to load a script: " + ErrorText(result);
    return false;
  }
  // Unloaded whatever the answer: a KWin that answers late may still load it.
  if (!Call(load.get(), reply, "KWin (loading a script)")) {
    Unload(plugin);
    return false;
  }
  std::int32_t id = -1;
  if (sd_bus_message_read(reply.get(), "i", &id) < 0 || id < 0) {
    problem_ = "KWin did not load the script";
    Unload(plugin);
    return false;
  }
  // Plasma 5.27 offers each loaded script at /<id> (Plasma 6 moved it).
  const std::string script_path = "/" + std::to_string(id);
  result = sd_bus_message_new_method_call(bus_.get(), &raw, kwin_owner_.c_str(), script_path.c_str(),
                                          "org.kde.kwin.Script", "run");
  UniqueSdBusMessage run(raw);
  expected_token_ = token;
  answered_ = false;
  const bool ok = result >= 0 && Call(run.get(), reply, "KWin (running a script)") && WaitForAnswer();
  if (result < 0) problem_ = "cannot ask KWin to run a script: " + ErrorText(result);
  expected_token_.clear();
  Unload(plugin);
  if (ok) answer = std::move(answer_);
  return ok;
}

bool KWinCompositor::WaitForAnswer() {
  while (!answered_) {
    int result = sd_bus_process(bus_.get(), nullptr);
    if (result == 0) {
      if (!BudgetLeft()) return false;
      const auto began = std::chrono::steady_clock::now();
      result = sd_bus_wait(bus_.get(), static_cast<std::uint64_t>(left_.count()));
      Spend(began);
      if (result == 0 && !answered_) return TimedOut();
    }
    if (result < 0) {
      problem_ = "the session D-Bus connection failed: " + ErrorText(result);
      return false;
    }
  }
  return true;
}

// The script has answered (or will not): KWin may forget it. Sent without
// waiting, so an unresponsive KWin costs nothing more here.
void KWinCompositor::Unload(const std::string& plugin) {
  sd_bus_message* raw = nullptr;
  if (sd_bus_message_new_method_call(bus_.get(), &raw, kwin_owner_.c_str(), "/Scripting", "org.kde.kwin.Scripting",
                                     "unloadScript") < 0)
    return;
  UniqueSdBusMessage unload(raw);
  if (sd_bus_message_append(unload.get(), "s", plugin.c_str()) < 0) return;
  sd_bus_message_set_expect_reply(unload.get(), 0);
  sd_bus_send(bus_.get(), unload.get(), nullptr);
}

int KWinCompositor::OnAnswer(sd_bus_message* message, void* self, sd_bus_error* /*error*/) {
  auto& kwin = *static_cast<KWinCompositor*>(self);
  const char* token = nullptr;
  const char* text = nullptr;
  const char* sender = sd_bus_message_get_sender(message);
  if (sd_bus_message_read(message, "ss", &token, &text) >= 0 && sender != nullptr && kwin.kwin_owner_ == sender &&
      !kwin.expected_token_.empty() && kwin.expected_token_ == token) {
    kwin.answer_ = text;
    kwin.answered_ = true;
  }
  return sd_bus_reply_method_return(message, "");
}

}  // namespace vesk::platform::linux_backend
