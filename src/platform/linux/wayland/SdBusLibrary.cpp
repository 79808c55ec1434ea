#include "platform/linux/wayland/SdBusLibrary.h"

#include <dlfcn.h>

#include "platform/UniqueResource.h"

namespace vesk::platform::linux_backend {
namespace {

constexpr const char* kLibrary = "libsystemd.so.0";

struct LibraryCloser {
  void operator()(void* library) const noexcept { ::dlclose(library); }
};
using UniqueLibrary = UniqueResource<void*, LibraryCloser, nullptr>;

struct Loaded {
  SdBusApi api{};
  bool ok = false;
  std::string problem;
};

// Resolves `name` into `slot`; false (problem set) when the library lacks it.
template <class Pointer>
bool Resolve(void* library, const char* name, Pointer& slot, std::string& problem) {
  void* symbol = ::dlsym(library, name);
  if (symbol == nullptr) {
    problem = std::string(kLibrary) + " has no " + name;
    return false;
  }
  // POSIX: a data pointer from dlsym converts to the function's pointer.
  slot = reinterpret_cast<Pointer>(symbol);
  return true;
}

Loaded Load() {
  Loaded loaded;
  UniqueLibrary library(::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char* error = ::dlerror();
    loaded.problem = std::string(kLibrary) + " could not be loaded: " + (error != nullptr ? error : "unknown error");
    return loaded;
  }
  SdBusApi& api = loaded.api;
  std::string& problem = loaded.problem;
  void* const from = library.get();
  loaded.ok = Resolve(from, "sd_bus_open_user", api.open_user, problem) &&
              Resolve(from, "sd_bus_is_ready", api.is_ready, problem) &&
              Resolve(from, "sd_bus_process", api.process, problem) &&
              Resolve(from, "sd_bus_wait", api.wait, problem) &&
              Resolve(from, "sd_bus_flush", api.flush, problem) &&
              Resolve(from, "sd_bus_close_unref", api.close_unref, problem) &&
              Resolve(from, "sd_bus_get_unique_name", api.get_unique_name, problem) &&
              Resolve(from, "sd_bus_add_object_vtable", api.add_object_vtable, problem) &&
              Resolve(from, "sd_bus_slot_unref", api.slot_unref, problem) &&
              Resolve(from, "sd_bus_message_new_method_call", api.message_new_method_call, problem) &&
              Resolve(from, "sd_bus_message_append", api.message_append, problem) &&
              Resolve(from, "sd_bus_message_read", api.message_read, problem) &&
              Resolve(from, "sd_bus_message_set_expect_reply", api.message_set_expect_reply, problem) &&
              Resolve(from, "sd_bus_message_get_sender", api.message_get_sender, problem) &&
              Resolve(from, "sd_bus_message_unref", api.message_unref, problem) &&
              Resolve(from, "sd_bus_call", api.call, problem) &&
              Resolve(from, "sd_bus_send", api.send, problem) &&
              Resolve(from, "sd_bus_reply_method_return", api.reply_method_return, problem) &&
              Resolve(from, "sd_bus_error_is_set", api.error_is_set, problem) &&
              Resolve(from, "sd_bus_error_free", api.error_free, problem) &&
              Resolve(from, "sd_bus_object_vtable_format", api.object_vtable_format, problem);
  // Kept once complete: sd-bus objects of any thread may use it until the
  // process ends, so it is never closed.
  if (loaded.ok) library.release();
  return loaded;
}

// Initialised once, on first use, whichever thread comes first.
const Loaded& Once() {
  static const Loaded loaded = Load();
  return loaded;
}

}  // namespace

const SdBusApi* LoadSdBus(std::string& problem) {
  const Loaded& loaded = Once();
  if (!loaded.ok) {
    problem = loaded.problem;
    return nullptr;
  }
  return &loaded.api;
}

const SdBusApi& SdBus() { return Once().api; }

}  // namespace vesk::platform::linux_backend
