#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/linux/posix/UniqueFd.h"
#include "platform/linux/posix/WaitBudget.h"

namespace vesk::platform::linux_backend {

// One connection to an i3-IPC socket (sway, i3): messages framed as the
// magic "i3-ipc", a 32-bit payload length and a 32-bit type in the
// machine's byte order, then the payload. Every wait (connecting, sending,
// each pass of reading a reply) is charged to the call's WaitBudget, so a
// server that never answers, or one that never stops sending, costs the
// call its budget once.
class SwayIpc {
 public:
  static constexpr std::uint32_t kRunCommand = 0;
  static constexpr std::uint32_t kGetTree = 4;
  // A reply longer than this is refused unread (sway's trees take tens of KiB).
  static constexpr std::uint32_t kMaxReply = 8U << 20;

  // Connects to the socket at `path`, charging `budget` (which must outlive
  // this); on failure connected() is false and problem() says what happened.
  SwayIpc(const std::string& path, WaitBudget& budget);

  bool connected() const { return static_cast<bool>(socket_); }
  // Sends a message of `type` and reads the reply of the same type into
  // `reply`; false when that failed (problem() says why). A connection that
  // failed once fails every later exchange.
  bool Exchange(std::uint32_t type, const std::string& payload, std::string& reply);
  // Why the connection or the last exchange failed, in words that follow the
  // socket's name, e.g. "did not answer within 5 s".
  const std::string& problem() const { return problem_; }

 private:
  // Waits until the socket is ready for `events` or the budget runs out.
  bool Wait(short events);
  bool SendAll(const std::string& bytes);
  bool ReceiveAll(char* data, std::size_t size);
  bool Fail(std::string problem);

  WaitBudget& budget_;
  UniqueFd socket_;
  std::string problem_;
};

}  // namespace vesk::platform::linux_backend
