#include "platform/linux/X11Desktop.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <string>
#include <unordered_map>

#include "platform/linux/X11Resources.h"

namespace vesk::platform::linux_backend {
namespace {
constexpr int kMaxFrameDepth = 8;     // frames nest a few levels at most
constexpr long kMaxPropertyLongs = 1 << 16;
}  // namespace

unsigned long X11Desktop::InternAtom(const char* name) { return XInternAtom(display_, name, False); }

std::optional<std::vector<unsigned long>> X11Desktop::Property32(Window window, const char* property,
                                                                 unsigned long type) {
  ::Atom actual_type = None;
  int actual_format = 0;
  unsigned long count = 0;
  unsigned long bytes_after = 0;
  unsigned char* raw = nullptr;
  const int status = XGetWindowProperty(display_, window, InternAtom(property), 0, kMaxPropertyLongs, False, type,
                                        &actual_type, &actual_format, &count, &bytes_after, &raw);
  const UniqueXBuffer<unsigned char> data(raw);
  if (status != Success || !data || actual_type != type || actual_format != 32) return std::nullopt;
  // Xlib hands 32-bit items as C longs.
  const auto* items = reinterpret_cast<const unsigned long*>(data.get());
  return std::vector<unsigned long>(items, items + count);
}

bool X11Desktop::WindowManagerRuns() {
  const std::string selection = "WM_S" + std::to_string(DefaultScreen(display_));
  if (XGetSelectionOwner(display_, InternAtom(selection.c_str())) != None) return true;
  const Window root = DefaultRootWindow(display_);
  const auto check = Property32(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
  if (!check || check->empty()) return false;
  const auto confirmed = Property32((*check)[0], "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
  return confirmed && !confirmed->empty() && (*confirmed)[0] == (*check)[0];
}

bool X11Desktop::HasWmState(Window window) {
  const ::Atom wm_state = InternAtom("WM_STATE");
  return Property32(window, "WM_STATE", wm_state).has_value();
}

bool X11Desktop::Visible(Window window, bool window_manager) {
  if (window_manager) {
    constexpr unsigned long kNormalState = 1;
    constexpr unsigned long kIconicState = 3;
    const ::Atom wm_state = InternAtom("WM_STATE");
    const auto state = Property32(window, "WM_STATE", wm_state);
    return state && !state->empty() && ((*state)[0] == kNormalState || (*state)[0] == kIconicState);
  }
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0 && attributes.map_state != IsUnmapped;
}

std::vector<X11Desktop::Window> X11Desktop::Children(Window window) {
  ::Window root = None;
  ::Window parent = None;
  ::Window* raw = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display_, window, &root, &parent, &raw, &count) == 0) return {};
  const UniqueXBuffer<::Window> children(raw);
  // XQueryTree lists bottom to top; the walk wants the top first.
  std::vector<Window> top_first(children.get(), children.get() + (children ? count : 0));
  std::reverse(top_first.begin(), top_first.end());
  return top_first;
}

X11Desktop::Window X11Desktop::ClientWindow(Window window, int depth) {
  if (HasWmState(window)) return window;
  if (depth >= kMaxFrameDepth) return 0;
  for (const Window child : Children(window)) {
    if (const Window client = ClientWindow(child, depth + 1)) return client;
  }
  return 0;
}

std::vector<X11Desktop::Window> X11Desktop::TopLevelWindows() {
  const Window root = DefaultRootWindow(display_);
  const bool window_manager = WindowManagerRuns();
  if (window_manager) {
    if (auto stacking = Property32(root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW)) {
      std::reverse(stacking->begin(), stacking->end());  // the property lists bottom to top
      return *stacking;
    }
  }
  std::vector<Window> windows;
  for (const Window child : Children(root)) {
    const Window client = window_manager ? ClientWindow(child, 0) : child;
    if (client != 0) windows.push_back(client);
  }
  return windows;
}

std::optional<X11Desktop::Window> X11Desktop::OwnerIfExists(Window window) {
  ::Atom actual_type = None;
  int actual_format = 0;
  unsigned long count = 0;
  unsigned long bytes_after = 0;
  unsigned char* raw = nullptr;
  // An error (the window is gone) makes Xlib return a status other than Success.
  const int status = XGetWindowProperty(display_, window, XA_WM_TRANSIENT_FOR, 0, 1, False, XA_WINDOW, &actual_type,
                                        &actual_format, &count, &bytes_after, &raw);
  const UniqueXBuffer<unsigned char> data(raw);
  if (status != Success) return std::nullopt;
  if (!data || actual_type != XA_WINDOW || actual_format != 32 || count < 1) return Window{0};
  return *reinterpret_cast<const unsigned long*>(data.get());
}

std::optional<std::uint32_t> X11Desktop::ClientProcesses::Find(Window window) const {
  for (const Client& client : clients_) {
    if ((window & ~client.mask) == client.base) return client.pid;
  }
  return std::nullopt;
}

X11Desktop::ClientProcesses X11Desktop::AllClientProcesses() {
  int event_base = 0;
  int error_base = 0;
  if (!XResQueryExtension(display_, &event_base, &error_base)) return ClientProcesses({});
  int client_count = 0;
  XResClient* raw_clients = nullptr;
  // Unlike the client-id query, this one returns nonzero on success.
  const Status listed = XResQueryClients(display_, &client_count, &raw_clients);
  const UniqueXBuffer<XResClient> clients(raw_clients);
  if (listed == 0) return ClientProcesses({});
  // None as the client: the process ids of all clients in one reply.
  XResClientIdSpec spec{None, XRES_CLIENT_ID_PID_MASK};
  // Both start empty: a failed query may free what they hold, and one that
  // finds no extension returns Success without touching them.
  long count = 0;
  XResClientIdValue* raw = nullptr;
  std::unordered_map<Window, std::uint32_t> pids;
  if (XResQueryClientIds(display_, 1, &spec, &count, &raw) == Success) {
    const UniqueClientIds values(raw, ClientIdsCloser{count});
    for (long i = 0; i < count; ++i) {
      const pid_t pid = XResGetClientPid(&values.get()[i]);
      if (pid > 0) pids[values.get()[i].spec.client] = static_cast<std::uint32_t>(pid);
    }
  }
  std::vector<ClientProcesses::Client> table;
  for (int i = 0; clients && i < client_count; ++i) {
    const XResClient& client = clients.get()[i];
    const auto pid = pids.find(client.resource_base);
    table.push_back({client.resource_base, client.resource_mask, pid != pids.end() ? pid->second : 0});
  }
  return ClientProcesses(std::move(table));
}

std::uint32_t X11Desktop::ServerProcessOf(Window window) {
  int event_base = 0;
  int error_base = 0;
  if (!XResQueryExtension(display_, &event_base, &error_base)) return 0;
  XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
  long count = 0;
  XResClientIdValue* raw = nullptr;
  if (XResQueryClientIds(display_, 1, &spec, &count, &raw) != Success) return 0;
  const UniqueClientIds values(raw, ClientIdsCloser{count});
  for (long i = 0; i < count; ++i) {
    const pid_t pid = XResGetClientPid(&values.get()[i]);
    if (pid > 0) return static_cast<std::uint32_t>(pid);
  }
  return 0;
}

std::uint32_t X11Desktop::NetWmPid(Window window) {
  const auto pid = Property32(window, "_NET_WM_PID", XA_CARDINAL);
  if (pid && !pid->empty() && (*pid)[0] > 0 && (*pid)[0] <= UINT32_MAX) return static_cast<std::uint32_t>((*pid)[0]);
  return 0;
}

bool X11Desktop::RequestClose(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.format = 32;
  event.xclient.window = window;

  const ::Atom delete_window = InternAtom("WM_DELETE_WINDOW");
  ::Atom* raw = nullptr;
  int count = 0;
  if (XGetWMProtocols(display_, window, &raw, &count) != 0) {
    const UniqueXBuffer<::Atom> protocols(raw);
    if (std::find(protocols.get(), protocols.get() + count, delete_window) != protocols.get() + count) {
      event.xclient.message_type = InternAtom("WM_PROTOCOLS");
      event.xclient.data.l[0] = static_cast<long>(delete_window);
      event.xclient.data.l[1] = CurrentTime;
      const Status sent = XSendEvent(display_, window, False, NoEventMask, &event);
      XFlush(display_);
      return sent != 0;
    }
  }

  const Window root = DefaultRootWindow(display_);
  const ::Atom close_window = InternAtom("_NET_CLOSE_WINDOW");
  const auto supported = Property32(root, "_NET_SUPPORTED", XA_ATOM);
  if (!supported || std::find(supported->begin(), supported->end(), close_window) == supported->end() ||
      !WindowManagerRuns()) {
    return false;
  }
  event.xclient.message_type = close_window;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = 2;  // the request comes from a pager-like tool, not an application
  const Status sent =
      XSendEvent(display_, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display_);
  return sent != 0;
}

}  // namespace vesk::platform::linux_backend
