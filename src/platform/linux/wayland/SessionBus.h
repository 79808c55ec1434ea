#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/linux/posix/Result.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/wayland/SdBusResources.h"

namespace vesk::platform::linux_backend {

// One connection to the session D-Bus through the loaded sd-bus (libsystemd
// is loaded at the first one), shared by the D-Bus routes: every wait, for
// the bus's greeting and for each reply, is charged to the caller's budget,
// which outlives the connection.
class SessionBus {
 public:
  // The errno of NameOwner's failure when the name has no owner.
  static constexpr int kNoOwner = ESRCH;

  // Connects and waits for the bus's greeting. Fails when libsystemd cannot
  // be loaded, no session bus is set or reachable, or it does not answer in time.
  static Result<SessionBus> Open(WaitBudget& budget);

  SessionBus(SessionBus&&) = default;
  SessionBus& operator=(SessionBus&&) = delete;

  const SdBusApi& api() const { return *api_; }
  sd_bus* get() const { return bus_.get(); }
  WaitBudget& budget() const { return *budget_; }
  // Our unique name on the bus.
  const std::string& name() const { return name_; }

  // Sends `call` and waits for its reply within the budget. On failure,
  // `problem` starts with `subject` and, when `what` is set, says that it was
  // asked to `what`; a D-Bus error gives "refused[ to what]: NAME: MESSAGE".
  bool Call(sd_bus_message* call, UniqueSdBusMessage& reply, const std::string& subject, const std::string& what,
            std::string& problem);
  // The unique name that owns `name`; a failure (error kNoOwner when it has no owner).
  Result<std::string> NameOwner(const char* name);

  // What is left of the budget as sd-bus's microseconds, rounded up: to
  // sd_bus_call and sd_bus_wait, 0 would mean their own default.
  static std::uint64_t Microseconds(WaitBudget::Clock::duration left);
  static std::string ErrorText(int negative_errno);

 private:
  SessionBus(const SdBusApi& api, UniqueSdBus bus, WaitBudget& budget)
      : api_(&api), budget_(&budget), bus_(std::move(bus)) {}
  Done WaitUntilConnected();

  const SdBusApi* api_;
  WaitBudget* budget_;
  UniqueSdBus bus_;
  std::string name_;
};

}  // namespace vesk::platform::linux_backend
