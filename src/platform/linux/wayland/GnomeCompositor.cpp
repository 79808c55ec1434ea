#include "platform/linux/wayland/GnomeCompositor.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace vesk::platform::linux_backend {
namespace {

constexpr const char* kCloser = "org.vesk.WindowCloser1";
constexpr const char* kCloserPath = "/org/vesk/WindowCloser1";
constexpr const char* kListing = "a(tutbbb)";
constexpr const char* kEnableHint =
    "GNOME Shell's window-closer@vesk-host extension is not running: enable it with "
    "`gnome-extensions enable window-closer@vesk-host`; GNOME Shell loads a newly installed extension only "
    "after the next login";

// Whether the desktop is GNOME: its session says so, or GNOME Shell is on the bus.
bool GnomeSession(SessionBus& bus) {
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  if (desktop != nullptr && std::string_view(desktop).find("GNOME") != std::string_view::npos) return true;
  return bus.NameOwner("org.gnome.Shell").ok();
}

}  // namespace

Result<std::unique_ptr<ICompositor>> GnomeCompositor::Connect(WaitBudget& budget) {
  using Connected = Result<std::unique_ptr<ICompositor>>;
  Result<SessionBus> bus = SessionBus::Open(budget);
  if (!bus) return Connected::Fail(bus.problem());
  const Result<std::string> owner = bus->NameOwner(kCloser);
  if (!owner) {
    if (owner.error() == SessionBus::kNoOwner && GnomeSession(*bus)) return Connected::Fail(kEnableHint);
    return Connected::Fail(owner.problem());
  }
  return std::unique_ptr<ICompositor>(new GnomeCompositor(std::move(*bus)));
}

std::string GnomeCompositor::Name() const { return "GNOME Shell's window-closer@vesk-host extension"; }

UniqueSdBusMessage GnomeCompositor::NewCall(const char* method) {
  sd_bus_message* raw = nullptr;
  const int made = bus_.api().message_new_method_call(bus_.get(), &raw, kCloser, kCloserPath, kCloser, method);
  UniqueSdBusMessage call(raw);
  if (made < 0) {
    problem_ = std::string("could not be asked to ") + method + ": " + SessionBus::ErrorText(made);
    call.reset();
  }
  return call;
}

bool GnomeCompositor::ListViews(std::vector<CompositorView>& views) {
  const UniqueSdBusMessage call = NewCall("ListWindows");
  UniqueSdBusMessage reply;
  if (!call || !bus_.Call(call.get(), reply, "", "list windows", problem_)) return false;
  const SdBusApi& api = bus_.api();
  // Only the one signature is read: anything else is an extension of
  // another version, or not the extension.
  const char* signature = api.message_get_signature(reply.get(), 1);
  const std::string got = signature != nullptr ? signature : "";
  if (got != kListing) {
    problem_ = "answered a listing of type '" + got + "', not '" + kListing + "'";
    return false;
  }
  std::vector<CompositorView> read;
  int result = api.message_enter_container(reply.get(), 'a', "(tutbbb)");
  while (result > 0) {
    std::uint64_t id = 0, parent = 0;
    std::uint32_t pid = 0;
    int x11 = 0, minimized = 0, hidden = 0;
    result = api.message_read(reply.get(), "(tutbbb)", &id, &pid, &parent, &x11, &minimized, &hidden);
    if (result <= 0) break;
    CompositorView& view = read.emplace_back();
    view.id = std::to_string(id);
    view.process_id = pid;
    view.owned = parent != 0;
    // mutter counts minimised windows as hidden.
    view.visible = minimized != 0 || hidden == 0;
    view.xwayland = x11 != 0;
  }
  if (result >= 0) result = api.message_exit_container(reply.get());
  if (result < 0) {
    problem_ = "answered a listing that could not be read: " + SessionBus::ErrorText(result);
    return false;
  }
  views = std::move(read);
  return true;
}

bool GnomeCompositor::RequestClose(const CompositorView& view) {
  std::uint64_t id = 0;
  const char* const end = view.id.data() + view.id.size();
  const auto [stop, error] = std::from_chars(view.id.data(), end, id);
  if (view.id.empty() || error != std::errc() || stop != end) {
    problem_ = "has no window " + view.id;
    return false;
  }
  const UniqueSdBusMessage call = NewCall("CloseWindow");
  if (!call) return false;
  const int appended = bus_.api().message_append(call.get(), "tu", id, view.process_id);
  if (appended < 0) {
    problem_ = "could not be asked to close window " + view.id + ": " + SessionBus::ErrorText(appended);
    return false;
  }
  UniqueSdBusMessage reply;
  return bus_.Call(call.get(), reply, "", "close window " + view.id, problem_);
}

}  // namespace vesk::platform::linux_backend
