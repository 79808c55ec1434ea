// A KWin whose script interface is not the one asked for (as in Plasma 6):
// owns org.kde.KWin on the session D-Bus and answers every method call, to
// any object, with org.freedesktop.DBus.Error.UnknownMethod. Prints "ready"
// once it owns the name; runs until killed. Exit status 1: no bus or the name
// is taken.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

struct BusClose {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct SlotUnref {
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};

// A filter sees every message before sd-bus's own handlers (Peer, Introspect).
int Refuse(sd_bus_message* message, void* /*data*/, sd_bus_error* /*error*/) {
  if (sd_bus_message_is_method_call(message, nullptr, nullptr) <= 0) return 0;
  std::fprintf(stderr, "kwin-standin: refused %s.%s on %s\n", sd_bus_message_get_interface(message),
               sd_bus_message_get_member(message), sd_bus_message_get_path(message));
  sd_bus_reply_method_errorf(message, SD_BUS_ERROR_UNKNOWN_METHOD, "No such method in this KWin");
  return 1;
}

}  // namespace

int main() {
  sd_bus* raw = nullptr;
  if (sd_bus_open_user(&raw) < 0) {
    std::fprintf(stderr, "kwin-standin: no session D-Bus\n");
    return 1;
  }
  const std::unique_ptr<sd_bus, BusClose> bus(raw);
  sd_bus_slot* slot_raw = nullptr;
  if (sd_bus_add_filter(bus.get(), &slot_raw, Refuse, nullptr) < 0) return 1;
  const std::unique_ptr<sd_bus_slot, SlotUnref> slot(slot_raw);
  if (sd_bus_request_name(bus.get(), "org.kde.KWin", 0) < 0) {
    std::fprintf(stderr, "kwin-standin: org.kde.KWin could not be owned\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    const int result = sd_bus_process(bus.get(), nullptr);
    if (result < 0) return 1;
    if (result == 0 && sd_bus_wait(bus.get(), UINT64_MAX) < 0) return 1;
  }
}
