#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/posix/ScopedSigpipeBlock.h"
#include "platform/linux/posix/SocketWatchdog.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/x11/X11Resources.h"

namespace vesk::platform::linux_backend {

// One connection to the X server that DISPLAY names, made by us so that no
// wait on it is unbounded: connecting, the setup handshake and every reply
// draw on the call's one WaitBudget. A SocketWatchdog shuts the socket down
// when it runs out; the connection then counts as broken.
// No process-wide state is touched: protocol errors arrive as values, and a
// broken connection only makes later calls fail.
class X11Connection {
 public:
  using Atom = std::uint32_t;
  using Window = std::uint32_t;

  // The atoms the backend uses, looked up (never created) when the
  // connection opens; 0 for one the server has never heard of.
  struct Atoms {
    Atom wm_state = 0;
    Atom wm_selection = 0;  // WM_Sn, owned by the window manager of screen n
    Atom net_supporting_wm_check = 0;
    Atom net_client_list_stacking = 0;
    Atom net_wm_pid = 0;
    Atom wm_protocols = 0;
    Atom wm_delete_window = 0;
  };

  // Connects to the server `display_name` names (a DISPLAY value). On
  // failure connected() is false and problem() says what happened.
  // `budget` outlives the connection.
  X11Connection(const std::string& display_name, WaitBudget& budget);
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  bool connected() const { return static_cast<bool>(connection_); }
  xcb_connection_t* get() const { return connection_.get(); }
  Window root() const { return root_; }
  const Atoms& atoms() const { return atoms_; }
  // Whether the server offers the X-Resource extension.
  bool has_resource_extension() const { return has_resource_extension_; }

  // Whether the connection failed: the server went away, or the budget ran out.
  bool Broken() const;
  // What happened to a connection that failed or broke, in words that follow
  // "X display NAME", e.g. "did not answer within 5 s".
  std::string problem() const;
  // Reads what the server sent, without waiting, so that a server gone since
  // the last reply shows in Broken().
  void CheckServer();

  // Held around every call that sends requests or waits for replies: the
  // wait counts against the budget, and SIGPIPE from a broken socket is kept
  // from the host.
  class Exchange {
   public:
    explicit Exchange(X11Connection& connection);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

   private:
    SocketWatchdog* watchdog_;
    ScopedSigpipeBlock sigpipe_;
  };

  // Notes a request sent (its cookie) so that requests can be counted.
  template <class Cookie>
  Cookie Sent(Cookie cookie) {
    last_sequence_ = cookie.sequence;
    return cookie;
  }
  // A request without a reply: the server may not have read it yet.
  xcb_void_cookie_t Sent(xcb_void_cookie_t cookie) {
    unsettled_ = true;
    return Sent<xcb_void_cookie_t>(cookie);
  }
  // Waits (one round trip, within the budget) until the server has handled
  // every request without a reply sent so far. Closing the connection
  // before that could lose them: a server may drop a client whose socket
  // is shut down without reading what is left in it.
  void Settle();
  // The sequence number of the last request sent through Sent().
  unsigned int last_sequence() const { return last_sequence_; }

 private:
  void Connect(const std::string& display_name);
  bool LookUpAtoms();

  WaitBudget& budget_;
  std::string problem_;
  std::optional<SocketWatchdog> watchdog_;
  UniqueXcbConnection connection_;  // closed before the watchdog goes
  Window root_ = 0;
  int screen_ = 0;
  Atoms atoms_;
  bool has_resource_extension_ = false;
  unsigned int last_sequence_ = 0;
  bool unsettled_ = false;
};

}  // namespace vesk::platform::linux_backend
