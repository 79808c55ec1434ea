#include "platform/linux/x11/X11Desktop.h"

#include <xcb/res.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "platform/linux/x11/X11Resources.h"

namespace vesk::platform::linux_backend {
namespace {

using Exchange = X11Connection::Exchange;
using Values = std::optional<std::vector<std::uint32_t>>;
using Window = X11Desktop::Window;

constexpr int kMaxFrameDepth = 8;  // frames nest a few levels at most
constexpr std::uint32_t kMaxPropertyLongs = 1 << 16;
constexpr std::uint32_t kNormalState = 1;
constexpr std::uint32_t kIconicState = 3;

// The reply to `cookie` (null for an error, which is dropped, or a broken
// connection); `failed` tells an error reply apart.
template <class Reply, class Cookie>
UniqueReply<Reply> ReplyTo(Reply* (*collect)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                           X11Connection& connection, Cookie cookie, bool* failed = nullptr) {
  xcb_generic_error_t* error = nullptr;
  UniqueReply<Reply> reply(collect(connection.get(), cookie, &error));
  if (failed != nullptr) *failed = error != nullptr;
  std::free(error);
  return reply;
}

// Asks for a property; an atom the server does not know is asked nothing
// (the cookie's sequence stays 0): no window can have it.
xcb_get_property_cookie_t AskProperty(X11Connection& connection, Window window, X11Connection::Atom property,
                                      X11Connection::Atom type, std::uint32_t longs = kMaxPropertyLongs) {
  if (property == 0) return {0};
  return connection.Sent(xcb_get_property(connection.get(), 0, window, property, type, 0, longs));
}

// The property's values when it has type `type` and format 32, else nothing.
Values Property32(X11Connection& connection, xcb_get_property_cookie_t cookie, X11Connection::Atom type,
                  bool* failed = nullptr) {
  if (cookie.sequence == 0) return std::nullopt;
  const auto reply = ReplyTo(&xcb_get_property_reply, connection, cookie, failed);
  if (!reply || reply.get()->type != type || reply.get()->format != 32) return std::nullopt;
  const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int count = xcb_get_property_value_length(reply.get()) / 4;
  return std::vector<std::uint32_t>(items, items + count);
}

bool Contains(const Values& values, std::uint32_t value) {
  return value != 0 && values && std::find(values->begin(), values->end(), value) != values->end();
}

xcb_query_tree_cookie_t AskChildren(X11Connection& connection, Window window) {
  return connection.Sent(xcb_query_tree(connection.get(), window));
}

// The children, the top one first (the server lists them bottom to top).
std::vector<Window> ChildrenFromTheTop(X11Connection& connection, xcb_query_tree_cookie_t cookie) {
  const auto reply = ReplyTo(&xcb_query_tree_reply, connection, cookie);
  if (!reply) return {};
  const Window* children = xcb_query_tree_children(reply.get());
  std::vector<Window> top_first(children, children + xcb_query_tree_children_length(reply.get()));
  std::reverse(top_first.begin(), top_first.end());
  return top_first;
}

xcb_get_selection_owner_cookie_t AskSelectionOwner(X11Connection& connection) {
  const X11Connection::Atom selection = connection.atoms().wm_selection;
  if (selection == 0) return {0};
  return connection.Sent(xcb_get_selection_owner(connection.get(), selection));
}

Window SelectionOwner(X11Connection& connection, xcb_get_selection_owner_cookie_t cookie) {
  if (cookie.sequence == 0) return 0;
  const auto reply = ReplyTo(&xcb_get_selection_owner_reply, connection, cookie);
  return reply ? reply.get()->owner : 0;
}

}  // namespace

bool X11Desktop::WindowManagerFrom(Window selection_owner, const Values& root_check) {
  if (selection_owner != 0) return true;
  if (!root_check || root_check->empty()) return false;
  const Window check = root_check->front();
  const Values confirmed = Property32(
      connection_, AskProperty(connection_, check, connection_.atoms().net_supporting_wm_check, XCB_ATOM_WINDOW, 1),
      XCB_ATOM_WINDOW);
  return confirmed && !confirmed->empty() && confirmed->front() == check;
}

bool X11Desktop::WindowManagerRuns() {
  const Exchange exchange(connection_);
  const auto owner = AskSelectionOwner(connection_);
  const auto check = AskProperty(connection_, connection_.root(), connection_.atoms().net_supporting_wm_check,
                                 XCB_ATOM_WINDOW, 1);
  const Window selection_owner = SelectionOwner(connection_, owner);
  return WindowManagerFrom(selection_owner, Property32(connection_, check, XCB_ATOM_WINDOW));
}

X11Desktop::Window X11Desktop::ClientWindow(Window window, int depth) {
  const auto state = AskProperty(connection_, window, connection_.atoms().wm_state, connection_.atoms().wm_state, 1);
  const auto tree = AskChildren(connection_, window);
  const bool has_state = Property32(connection_, state, connection_.atoms().wm_state).has_value();
  const std::vector<Window> children = ChildrenFromTheTop(connection_, tree);
  if (has_state) return window;
  if (depth >= kMaxFrameDepth) return 0;
  for (const Window child : children) {
    if (const Window client = ClientWindow(child, depth + 1)) return client;
  }
  return 0;
}

X11Desktop::Stack X11Desktop::TopLevelWindows() {
  const Exchange exchange(connection_);
  const X11Connection::Atoms& atoms = connection_.atoms();
  const Window root = connection_.root();
  // Everything the choice of walk may need, in one round trip.
  const auto owner = AskSelectionOwner(connection_);
  const auto check = AskProperty(connection_, root, atoms.net_supporting_wm_check, XCB_ATOM_WINDOW, 1);
  const auto stacking_cookie = AskProperty(connection_, root, atoms.net_client_list_stacking, XCB_ATOM_WINDOW);
  const auto tree = AskChildren(connection_, root);
  const Window selection_owner = SelectionOwner(connection_, owner);
  const Values root_check = Property32(connection_, check, XCB_ATOM_WINDOW);
  Values stacking = Property32(connection_, stacking_cookie, XCB_ATOM_WINDOW);
  const std::vector<Window> children = ChildrenFromTheTop(connection_, tree);

  Stack stack;
  stack.window_manager = WindowManagerFrom(selection_owner, root_check);
  if (stack.window_manager && stacking) {
    stack.windows.assign(stacking->rbegin(), stacking->rend());  // the property lists bottom to top
    return stack;
  }
  if (stack.window_manager) {
    for (const Window child : children) {
      if (const Window client = ClientWindow(child, 0)) stack.windows.push_back(client);
    }
    return stack;
  }
  std::vector<xcb_get_window_attributes_cookie_t> cookies;
  cookies.reserve(children.size());
  for (const Window child : children) {
    cookies.push_back(connection_.Sent(xcb_get_window_attributes(connection_.get(), child)));
  }
  for (std::size_t i = 0; i < children.size(); ++i) {
    const auto attributes = ReplyTo(&xcb_get_window_attributes_reply, connection_, cookies[i]);
    // Gone since, or a menu or tooltip: not a program's window.
    if (!attributes || attributes.get()->override_redirect != 0) continue;
    stack.windows.push_back(children[i]);
    stack.mapped.push_back(attributes.get()->map_state != XCB_MAP_STATE_UNMAPPED);
  }
  return stack;
}

std::vector<std::optional<X11Desktop::Window>> X11Desktop::OwnersIfExist(const std::vector<Window>& windows) {
  const Exchange exchange(connection_);
  std::vector<xcb_get_property_cookie_t> cookies;
  cookies.reserve(windows.size());
  for (const Window window : windows) {
    cookies.push_back(AskProperty(connection_, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1));
  }
  std::vector<std::optional<Window>> owners;
  owners.reserve(windows.size());
  for (const xcb_get_property_cookie_t cookie : cookies) {
    bool failed = false;
    const Values owner = Property32(connection_, cookie, XCB_ATOM_WINDOW, &failed);
    // An error (the window is gone) or no reply at all (the connection broke).
    if (failed || connection_.Broken()) {
      owners.emplace_back();
    } else {
      owners.emplace_back(owner && !owner->empty() ? owner->front() : 0);
    }
  }
  return owners;
}

std::optional<std::uint32_t> X11Desktop::ClientProcesses::Find(Window window) const {
  for (const Client& client : clients_) {
    if ((window & ~client.mask) == client.base) return client.pid;
  }
  return std::nullopt;
}

X11Desktop::ClientProcesses X11Desktop::AllClientProcesses() {
  if (!connection_.has_resource_extension()) return ClientProcesses({});
  const Exchange exchange(connection_);
  // Client 0: the process ids of all clients in one reply.
  const xcb_res_client_id_spec_t spec{0, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  const auto clients_cookie = connection_.Sent(xcb_res_query_clients(connection_.get()));
  const auto ids_cookie = connection_.Sent(xcb_res_query_client_ids(connection_.get(), 1, &spec));
  const auto clients = ReplyTo(&xcb_res_query_clients_reply, connection_, clients_cookie);
  const auto ids = ReplyTo(&xcb_res_query_client_ids_reply, connection_, ids_cookie);
  std::unordered_map<Window, std::uint32_t> pids;
  if (ids) {
    for (auto id = xcb_res_query_client_ids_ids_iterator(ids.get()); id.rem > 0; xcb_res_client_id_value_next(&id)) {
      if ((id.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0) continue;
      if (xcb_res_client_id_value_value_length(id.data) < 1) continue;
      const std::uint32_t pid = *xcb_res_client_id_value_value(id.data);
      if (pid > 0) pids[id.data->spec.client] = pid;
    }
  }
  std::vector<ClientProcesses::Client> table;
  if (clients) {
    for (auto client = xcb_res_query_clients_clients_iterator(clients.get()); client.rem > 0;
         xcb_res_client_next(&client)) {
      const auto pid = pids.find(client.data->resource_base);
      table.push_back({client.data->resource_base, client.data->resource_mask, pid != pids.end() ? pid->second : 0});
    }
  }
  return ClientProcesses(std::move(table));
}

std::uint32_t X11Desktop::ServerProcessOf(Window window) {
  if (!connection_.has_resource_extension()) return 0;
  const Exchange exchange(connection_);
  const xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  const auto ids = ReplyTo(&xcb_res_query_client_ids_reply, connection_,
                           connection_.Sent(xcb_res_query_client_ids(connection_.get(), 1, &spec)));
  if (!ids) return 0;
  for (auto id = xcb_res_query_client_ids_ids_iterator(ids.get()); id.rem > 0; xcb_res_client_id_value_next(&id)) {
    if (xcb_res_client_id_value_value_length(id.data) < 1) continue;
    if (const std::uint32_t pid = *xcb_res_client_id_value_value(id.data)) return pid;
  }
  return 0;
}

std::uint32_t X11Desktop::NetWmPid(Window window) {
  const Exchange exchange(connection_);
  const Values pid = Property32(
      connection_, AskProperty(connection_, window, connection_.atoms().net_wm_pid, XCB_ATOM_CARDINAL, 1),
      XCB_ATOM_CARDINAL);
  return pid && !pid->empty() ? pid->front() : 0;
}

bool X11Desktop::Visible(Window window, bool window_manager) {
  const Exchange exchange(connection_);
  if (window_manager) {
    const X11Connection::Atom wm_state = connection_.atoms().wm_state;
    const Values state = Property32(connection_, AskProperty(connection_, window, wm_state, wm_state, 1), wm_state);
    return state && !state->empty() && (state->front() == kNormalState || state->front() == kIconicState);
  }
  const auto attributes = ReplyTo(&xcb_get_window_attributes_reply, connection_,
                                  connection_.Sent(xcb_get_window_attributes(connection_.get(), window)));
  return attributes && attributes.get()->map_state != XCB_MAP_STATE_UNMAPPED;
}

X11Desktop::CloseRequest X11Desktop::RequestClose(Window window) {
  const Exchange exchange(connection_);
  const X11Connection::Atoms& atoms = connection_.atoms();
  const Values protocols =
      Property32(connection_, AskProperty(connection_, window, atoms.wm_protocols, XCB_ATOM_ATOM), XCB_ATOM_ATOM);
  if (!Contains(protocols, atoms.wm_delete_window)) return CloseRequest::kNotTaken;
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atoms.wm_protocols;
  event.data.data32[0] = atoms.wm_delete_window;
  event.data.data32[1] = XCB_CURRENT_TIME;
  connection_.Sent(xcb_send_event(connection_.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                                  reinterpret_cast<const char*>(&event)));
  return xcb_flush(connection_.get()) > 0 ? CloseRequest::kSent : CloseRequest::kFailed;
}

}  // namespace vesk::platform::linux_backend
