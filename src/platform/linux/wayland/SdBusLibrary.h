#pragma once

#include <systemd/sd-bus.h>

#include <string>

#include "platform/linux/posix/Result.h"

namespace vesk::platform::linux_backend {

// The sd-bus functions of libsystemd that the D-Bus routes use, loaded at
// run time: programs that never try such a route do not pay for loading
// libsystemd and the libraries it needs. Compiled against libsystemd's
// headers; each pointer has the type of the function it stands for.
struct SdBusApi {
  decltype(&sd_bus_open_user) open_user;
  decltype(&sd_bus_is_ready) is_ready;
  decltype(&sd_bus_process) process;
  decltype(&sd_bus_wait) wait;
  decltype(&sd_bus_flush) flush;
  decltype(&sd_bus_close_unref) close_unref;
  decltype(&sd_bus_get_unique_name) get_unique_name;
  decltype(&sd_bus_add_object_vtable) add_object_vtable;
  decltype(&sd_bus_slot_unref) slot_unref;
  decltype(&sd_bus_message_new_method_call) message_new_method_call;
  decltype(&sd_bus_message_append) message_append;
  decltype(&sd_bus_message_read) message_read;
  decltype(&sd_bus_message_get_signature) message_get_signature;
  decltype(&sd_bus_message_enter_container) message_enter_container;
  decltype(&sd_bus_message_exit_container) message_exit_container;
  decltype(&sd_bus_message_set_expect_reply) message_set_expect_reply;
  decltype(&sd_bus_message_get_sender) message_get_sender;
  decltype(&sd_bus_message_unref) message_unref;
  decltype(&sd_bus_call) call;
  decltype(&sd_bus_send) send;
  decltype(&sd_bus_reply_method_return) reply_method_return;
  decltype(&sd_bus_error_is_set) error_is_set;
  decltype(&sd_bus_error_free) error_free;
  // An object table's first entry points at this variable of libsystemd's,
  // by which it tells the layout of the table.
  const unsigned* object_vtable_format;
};

// Loads libsystemd.so.0 and resolves the table, once per process (safe from
// any thread; later calls answer the first one's outcome). Fails when the
// library cannot be loaded or lacks a function; the table is never null.
// The library stays loaded for the life of the process.
Result<const SdBusApi*> LoadSdBus();

// The table, for objects made through it: only after LoadSdBus succeeded.
const SdBusApi& SdBus();

}  // namespace vesk::platform::linux_backend
