#pragma once

#include <systemd/sd-bus.h>

#include "platform/UniqueResource.h"
#include "platform/linux/wayland/SdBusLibrary.h"

namespace vesk::platform::linux_backend {

// Owners of sd-bus objects: a bus connection (closed), a slot (an exported
// object or a pending call, released) and a message. They hold only objects
// made through the loaded library (SdBusLibrary.h), and release them through it.
struct SdBusCloser {
  // Messages still queued go out first, but only on a connection that was
  // set up: flushing waits (without a deadline) for the greeting otherwise.
  void operator()(sd_bus* bus) const noexcept {
    const SdBusApi& api = SdBus();
    if (api.is_ready(bus) > 0) api.flush(bus);
    api.close_unref(bus);
  }
};
struct SdBusSlotCloser {
  void operator()(sd_bus_slot* slot) const noexcept { SdBus().slot_unref(slot); }
};
struct SdBusMessageCloser {
  void operator()(sd_bus_message* message) const noexcept { SdBus().message_unref(message); }
};
using UniqueSdBus = UniqueResource<sd_bus*, SdBusCloser, nullptr>;
using UniqueSdBusSlot = UniqueResource<sd_bus_slot*, SdBusSlotCloser, nullptr>;
using UniqueSdBusMessage = UniqueResource<sd_bus_message*, SdBusMessageCloser, nullptr>;

// sd-bus error texts are owned by the error object and freed with it; one
// that was never set holds nothing (and needs no library).
class SdBusError {
 public:
  SdBusError() = default;
  ~SdBusError() {
    if (error_.name != nullptr || error_.message != nullptr) SdBus().error_free(&error_);
  }
  SdBusError(const SdBusError&) = delete;
  SdBusError& operator=(const SdBusError&) = delete;
  sd_bus_error* get() { return &error_; }
  const sd_bus_error* get() const { return &error_; }

 private:
  sd_bus_error error_{};  // SD_BUS_ERROR_NULL, whose compound literal is not C++
};

}  // namespace vesk::platform::linux_backend
