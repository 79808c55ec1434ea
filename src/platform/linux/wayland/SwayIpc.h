#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {

// One connection to an i3-IPC socket (sway, i3): messages framed as the
// magic "i3-ipc", a 32-bit payload length and a 32-bit type in the
// machine's byte order, then the payload. Every wait (connecting, sending,
// each reply) shares one deadline, set when the connection is made, so a
// server that never answers costs the session its budget once.
class SwayIpc {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::uint32_t kRunCommand = 0;
  static constexpr std::uint32_t kGetTree = 4;

  // Connects to the socket at `path`; on failure connected() is false and
  // problem() says what happened.
  SwayIpc(const std::string& path, Clock::duration budget);

  bool connected() const { return static_cast<bool>(socket_); }
  // Sends a message of `type` and reads the reply of the same type into
  // `reply`; false when that failed (problem() says why). A connection that
  // failed once fails every later exchange.
  bool Exchange(std::uint32_t type, const std::string& payload, std::string& reply);
  // Why the connection or the last exchange failed, in words that follow the
  // socket's name, e.g. "did not answer within 5 s".
  const std::string& problem() const { return problem_; }

 private:
  // Waits until the socket is ready for `events` or the deadline passes.
  bool Wait(short events);
  bool SendAll(const std::string& bytes);
  bool ReceiveAll(char* data, std::size_t size);
  bool Fail(std::string problem);

  UniqueFd socket_;
  Clock::time_point deadline_;
  std::string budget_text_;
  std::string problem_;
};

}  // namespace vesk::platform::linux_backend
