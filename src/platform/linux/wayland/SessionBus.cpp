#include "platform/linux/wayland/SessionBus.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vesk::platform::linux_backend {

std::string SessionBus::ErrorText(int negative_errno) { return std::strerror(-negative_errno); }

std::uint64_t SessionBus::Microseconds(WaitBudget::Clock::duration left) {
  const auto rounded = std::chrono::ceil<std::chrono::microseconds>(left).count();
  return static_cast<std::uint64_t>(std::max<std::int64_t>(rounded, 1));
}

Result<SessionBus> SessionBus::Open(WaitBudget& budget) {
  using Opened = Result<SessionBus>;
  const Result<const SdBusApi*> api = LoadSdBus();
  if (!api) return Opened::Fail(api.problem());
  sd_bus* raw = nullptr;
  // DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus. Connecting to a
  // local socket does not wait; the greeting is awaited below, in the budget.
  const int opened = (*api)->open_user(&raw);
  UniqueSdBus bus(raw);
  if (opened == -ENOMEDIUM) {
    return Opened::Fail("no session D-Bus is set (DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR are empty)");
  }
  if (opened < 0) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return Opened::Fail("no session D-Bus could be reached" +
                        (address != nullptr && *address != '\0' ? " at " + std::string(address) : std::string()) +
                        ": " + ErrorText(opened));
  }
  SessionBus session(**api, std::move(bus), budget);
  const Done connected = session.WaitUntilConnected();
  if (!connected) return Opened::Fail(connected.problem());
  return session;
}

Done SessionBus::WaitUntilConnected() {
  for (;;) {
    const int ready = api_->is_ready(bus_.get());
    if (ready > 0) break;
    int result = ready < 0 ? ready : api_->process(bus_.get(), nullptr);
    if (result == 0) {
      if (budget_->spent()) return Done::Fail("the session D-Bus " + budget_->NoAnswer());
      const WaitBudget::Wait wait(*budget_);
      result = api_->wait(bus_.get(), Microseconds(budget_->left()));
    }
    if (result < 0) return Done::Fail("the session D-Bus connection failed: " + ErrorText(result));
  }
  const char* unique = nullptr;
  const int named = api_->get_unique_name(bus_.get(), &unique);
  if (named < 0) return Done::Fail("the session D-Bus gave no name: " + ErrorText(named));
  name_ = unique;
  return {};
}

bool SessionBus::Call(sd_bus_message* call, UniqueSdBusMessage& reply, const std::string& subject,
                      const std::string& what, std::string& problem) {
  const std::string asked = what.empty() ? std::string() : " when asked to " + what;
  if (budget_->spent()) {
    problem = subject + budget_->NoAnswer() + asked;
    return false;
  }
  SdBusError error;
  sd_bus_message* raw = nullptr;
  int result = 0;
  {
    const WaitBudget::Wait wait(*budget_);
    result = api_->call(bus_.get(), call, Microseconds(budget_->left()), error.get(), &raw);
  }
  reply.reset(raw);
  if (result >= 0) return true;
  const std::string to = what.empty() ? std::string() : " to " + what;
  if (result == -ETIMEDOUT) {
    problem = subject + budget_->NoAnswer() + asked;
    budget_->Spend(budget_->left());
  } else if (api_->error_is_set(error.get())) {
    problem = subject + "refused" + to + ": " + error.get()->name + ": " +
              (error.get()->message != nullptr ? error.get()->message : "");
  } else {
    problem = subject + "could not be asked" + to + ": " + ErrorText(result);
  }
  return false;
}

Result<std::string> SessionBus::NameOwner(const char* name) {
  using Owner = Result<std::string>;
  sd_bus_message* raw = nullptr;
  int result = api_->message_new_method_call(bus_.get(), &raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                             "org.freedesktop.DBus", "GetNameOwner");
  UniqueSdBusMessage call(raw);
  if (result >= 0) result = api_->message_append(call.get(), "s", name);
  if (result < 0) {
    return Owner::Fail(std::string("the session D-Bus could not be asked who owns ") + name + ": " +
                       ErrorText(result));
  }
  UniqueSdBusMessage reply;
  std::string problem;
  if (!Call(call.get(), reply, "the session D-Bus ", "", problem)) {
    if (problem.find("NameHasNoOwner") != std::string::npos)
      return Owner::Fail(std::string("no program owns ") + name + " on the session D-Bus", kNoOwner);
    return Owner::Fail(problem);
  }
  const char* owner = nullptr;
  if (api_->message_read(reply.get(), "s", &owner) < 0 || owner == nullptr)
    return Owner::Fail(std::string("the session D-Bus answered an unreadable owner of ") + name);
  return std::string(owner);
}

}  // namespace vesk::platform::linux_backend
