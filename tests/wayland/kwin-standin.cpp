// Stand-ins for the D-Bus routes' peers on a private session bus. Prints
// "ready" once it owns its name; runs until killed. Exit status 1: no bus or
// the name is taken; 2: bad arguments.
//   kwin-standin
//     A KWin whose script interface is not the one asked for (as in Plasma
//     6): owns org.kde.KWin and answers every method call, to any object,
//     with org.freedesktop.DBus.Error.UnknownMethod.
//   kwin-standin gnome wrong-type|pid-mismatch|silent PID
//     A window-closer@vesk-host extension gone wrong: owns
//     org.vesk.WindowCloser1 and answers ListWindows with one unowned
//     Wayland window of PID, but as (a(tutbb)) for wrong-type, or never for
//     silent; CloseWindow is always refused with its PidMismatch error.
//     Each call is logged on standard error.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct BusClose {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct SlotUnref {
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

std::string g_mode;
std::uint32_t g_pid = 0;

// A filter sees every message before sd-bus's own handlers (Peer, Introspect).
int Refuse(sd_bus_message* message, void* /*data*/, sd_bus_error* /*error*/) {
  if (sd_bus_message_is_method_call(message, nullptr, nullptr) <= 0) return 0;
  std::fprintf(stderr, "kwin-standin: refused %s.%s on %s\n", sd_bus_message_get_interface(message),
               sd_bus_message_get_member(message), sd_bus_message_get_path(message));
  sd_bus_reply_method_errorf(message, SD_BUS_ERROR_UNKNOWN_METHOD, "No such method in this KWin");
  return 1;
}

int AnswerCloser(sd_bus_message* message, void* /*data*/, sd_bus_error* /*error*/) {
  if (sd_bus_message_is_method_call(message, "org.vesk.WindowCloser1", "CloseWindow") > 0) {
    std::uint64_t id = 0;
    std::uint32_t pid = 0;
    sd_bus_message_read(message, "tu", &id, &pid);
    std::fprintf(stderr, "kwin-standin: refused CloseWindow %llu %u\n", static_cast<unsigned long long>(id), pid);
    sd_bus_reply_method_errorf(message, "org.vesk.WindowCloser1.Error.PidMismatch", "not the expected pid");
    return 1;
  }
  if (sd_bus_message_is_method_call(message, "org.vesk.WindowCloser1", "ListWindows") <= 0) return 0;
  std::fprintf(stderr, "kwin-standin: ListWindows\n");
  if (g_mode == "silent") return 1;  // no reply: the caller waits until its deadline
  const bool wrong = g_mode == "wrong-type";
  sd_bus_message* raw = nullptr;
  if (sd_bus_message_new_method_return(message, &raw) < 0) return 1;
  const std::unique_ptr<sd_bus_message, MessageUnref> reply(raw);
  if (wrong) {
    sd_bus_message_append(reply.get(), "a(tutbb)", 1, std::uint64_t{7}, g_pid, std::uint64_t{0}, 0, 0);
  } else {
    sd_bus_message_append(reply.get(), "a(tutbbb)", 1, std::uint64_t{7}, g_pid, std::uint64_t{0}, 0, 0, 0);
  }
  sd_bus_send(nullptr, reply.get(), nullptr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool gnome = argc == 4 && std::strcmp(argv[1], "gnome") == 0;
  if (argc != 1 && !gnome) return 2;
  if (gnome) {
    g_mode = argv[2];
    g_pid = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    if (g_mode != "wrong-type" && g_mode != "pid-mismatch" && g_mode != "silent") return 2;
  }
  const char* name = gnome ? "org.vesk.WindowCloser1" : "org.kde.KWin";
  sd_bus* raw = nullptr;
  if (sd_bus_open_user(&raw) < 0) {
    std::fprintf(stderr, "kwin-standin: no session D-Bus\n");
    return 1;
  }
  const std::unique_ptr<sd_bus, BusClose> bus(raw);
  sd_bus_slot* slot_raw = nullptr;
  if (sd_bus_add_filter(bus.get(), &slot_raw, gnome ? AnswerCloser : Refuse, nullptr) < 0) return 1;
  const std::unique_ptr<sd_bus_slot, SlotUnref> slot(slot_raw);
  if (sd_bus_request_name(bus.get(), name, 0) < 0) {
    std::fprintf(stderr, "kwin-standin: %s could not be owned\n", name);
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
