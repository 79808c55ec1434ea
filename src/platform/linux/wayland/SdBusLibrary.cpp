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
  Done outcome;
};

// Resolves `name` into `slot`; a failure when the library lacks it.
template <class Pointer>
Done Resolve(void* library, const char* name, Pointer& slot) {
  void* symbol = ::dlsym(library, name);
  if (symbol == nullptr) return Done::Fail(std::string(kLibrary) + " has no " + name);
  // POSIX: a data pointer from dlsym converts to the function's pointer.
  slot = reinterpret_cast<Pointer>(symbol);
  return {};
}

Loaded Load() {
  Loaded loaded;
  UniqueLibrary library(::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char* error = ::dlerror();
    loaded.outcome =
        Done::Fail(std::string(kLibrary) + " could not be loaded: " + (error != nullptr ? error : "unknown error"));
    return loaded;
  }
  SdBusApi& api = loaded.api;
  void* const from = library.get();
  // In this order, up to the first that is missing.
  const auto resolve = [&](const char* name, auto& slot) {
    if (loaded.outcome) loaded.outcome = Resolve(from, name, slot);
  };
  resolve("sd_bus_open_user", api.open_user);
  resolve("sd_bus_is_ready", api.is_ready);
  resolve("sd_bus_process", api.process);
  resolve("sd_bus_wait", api.wait);
  resolve("sd_bus_flush", api.flush);
  resolve("sd_bus_close_unref", api.close_unref);
  resolve("sd_bus_get_unique_name", api.get_unique_name);
  resolve("sd_bus_add_object_vtable", api.add_object_vtable);
  resolve("sd_bus_slot_unref", api.slot_unref);
  resolve("sd_bus_message_new_method_call", api.message_new_method_call);
  resolve("sd_bus_message_append", api.message_append);
  resolve("sd_bus_message_read", api.message_read);
  resolve("sd_bus_message_get_signature", api.message_get_signature);
  resolve("sd_bus_message_enter_container", api.message_enter_container);
  resolve("sd_bus_message_exit_container", api.message_exit_container);
  resolve("sd_bus_message_set_expect_reply", api.message_set_expect_reply);
  resolve("sd_bus_message_get_sender", api.message_get_sender);
  resolve("sd_bus_message_unref", api.message_unref);
  resolve("sd_bus_call", api.call);
  resolve("sd_bus_send", api.send);
  resolve("sd_bus_reply_method_return", api.reply_method_return);
  resolve("sd_bus_error_is_set", api.error_is_set);
  resolve("sd_bus_error_free", api.error_free);
  resolve("sd_bus_object_vtable_format", api.object_vtable_format);
  // Kept once complete: sd-bus objects of any thread may use it until the
  // process ends, so it is never closed.
  if (loaded.outcome) library.release();
  return loaded;
}

// Initialised once, on first use, whichever thread comes first.
const Loaded& Once() {
  static const Loaded loaded = Load();
  return loaded;
}

}  // namespace

Result<const SdBusApi*> LoadSdBus() {
  const Loaded& loaded = Once();
  if (!loaded.outcome) return Result<const SdBusApi*>::Fail(loaded.outcome.problem());
  return &loaded.api;
}

const SdBusApi& SdBus() { return Once().api; }

}  // namespace vesk::platform::linux_backend
