#include "platform/linux/x11/X11Connection.h"

#include <fcntl.h>
#include <xcb/res.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/x11/X11Authority.h"
#include "platform/linux/x11/X11DisplayName.h"
#include "platform/linux/x11/X11Socket.h"

namespace vesk::platform::linux_backend {
X11Connection::Exchange::Exchange(X11Connection& connection) : watchdog_(&*connection.watchdog_) {
  watchdog_->BeginWait();
}

X11Connection::Exchange::~Exchange() { watchdog_->EndWait(); }

X11Connection::X11Connection(const std::string& display_name, WaitBudget& budget) : budget_(budget) {
  Connect(display_name);
  if (!problem_.empty()) connection_.reset();
}

X11Connection::~X11Connection() = default;

void X11Connection::Connect(const std::string& display_name) {
  const std::optional<X11DisplayName> name = X11DisplayName::Parse(display_name);
  if (!name) {
    problem_ = "is not a display name of the forms :N, HOST:N or /PATH:N";
    return;
  }
  Result<UniqueFd> connected = [&] {
    const WaitBudget::Wait connecting(budget_);
    return X11Socket::Connect(*name, connecting.deadline());
  }();
  if (!connected) {
    problem_ = connected.error() == ETIMEDOUT ? budget_.NoAnswer() : connected.problem();
    return;
  }
  UniqueFd socket = std::move(*connected);
  // The watchdog's own descriptor of the socket: xcb closes the other one
  // whenever it likes, the watchdog's stays valid until it is joined.
  UniqueFd watched(::fcntl(socket.get(), F_DUPFD_CLOEXEC, 0));
  if (!watched) {
    problem_ = "could not be watched: no file descriptor left";
    return;
  }
  watchdog_.emplace(std::move(watched), budget_);
  std::string cookie = X11Authority::CookieFor(socket.get(), name->display);
  char method[] = "MIT-MAGIC-COOKIE-1";
  xcb_auth_info_t authorization{static_cast<int>(sizeof method - 1), method, static_cast<int>(cookie.size()),
                                cookie.data()};
  {
    const Exchange exchange(*this);
    // Takes the socket in every case; on failure it answers a connection in error.
    connection_.reset(xcb_connect_to_fd(socket.release(), cookie.empty() ? nullptr : &authorization));
  }
  if (xcb_connection_has_error(connection_.get()) != 0) {
    problem_ = watchdog_->Fired() ? budget_.NoAnswer()
                                  : "refused the connection at setup (for example, no valid authorization)";
    return;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_.get()));
  for (int i = 0; i < name->screen && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) {
    problem_ = "has no screen " + std::to_string(name->screen);
    return;
  }
  root_ = screens.data->root;
  screen_ = name->screen;
  if (!LookUpAtoms()) problem_ = problem();
}

bool X11Connection::LookUpAtoms() {
  const std::string selection = "WM_S" + std::to_string(screen_);
  const std::array<const char*, 7> names = {"WM_STATE",    selection.c_str(), "_NET_SUPPORTING_WM_CHECK",
                                            "_NET_CLIENT_LIST_STACKING", "_NET_WM_PID", "WM_PROTOCOLS",
                                            "WM_DELETE_WINDOW"};
  std::array<Atom*, 7> targets = {&atoms_.wm_state,   &atoms_.wm_selection, &atoms_.net_supporting_wm_check,
                                  &atoms_.net_client_list_stacking, &atoms_.net_wm_pid, &atoms_.wm_protocols,
                                  &atoms_.wm_delete_window};
  const Exchange exchange(*this);
  // All asked at once, with the X-Resource extension: one round trip.
  // The extension first: its request is the one not counted by Sent().
  xcb_prefetch_extension_data(connection_.get(), &xcb_res_id);
  std::array<xcb_intern_atom_cookie_t, 7> cookies{};
  for (std::size_t i = 0; i < names.size(); ++i) {
    cookies[i] = Sent(
        xcb_intern_atom(connection_.get(), 1, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]));
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    xcb_generic_error_t* error = nullptr;
    const UniqueReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_.get(), cookies[i], &error));
    std::free(error);
    *targets[i] = reply ? reply.get()->atom : 0;
  }
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_.get(), &xcb_res_id);
  has_resource_extension_ = extension != nullptr && extension->present != 0;
  return !Broken();
}

bool X11Connection::Broken() const { return !connection_ || xcb_connection_has_error(connection_.get()) != 0; }

std::string X11Connection::problem() const {
  if (!problem_.empty()) return problem_;
  if (watchdog_ && watchdog_->Fired()) return budget_.NoAnswer();
  return "went away";
}

void X11Connection::Settle() {
  if (!unsettled_ || Broken()) return;
  unsettled_ = false;
  const Exchange exchange(*this);
  // Any request with a reply will do: the server answers in order.
  std::free(xcb_get_input_focus_reply(connection_.get(), Sent(xcb_get_input_focus(connection_.get())), nullptr));
}

void X11Connection::CheckServer() {
  // Only errors of requests without replies come this way; they are dropped.
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_.get())) std::free(event);
}

}  // namespace vesk::platform::linux_backend
