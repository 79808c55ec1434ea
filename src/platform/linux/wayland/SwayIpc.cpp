#include "platform/linux/wayland/SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/linux/posix/UnixSocket.h"

namespace vesk::platform::linux_backend {
namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderSize = sizeof kMagic + 2 * sizeof(std::uint32_t);
// Events carry this bit in their type; none is subscribed to, so any is skipped.
constexpr std::uint32_t kEventBit = 0x80000000U;

}  // namespace

SwayIpc::SwayIpc(const std::string& path, WaitBudget& budget) : budget_(budget) {
  Result<UniqueFd> socket = [&] {
    const WaitBudget::Wait wait(budget_);
    return ConnectUnixSocket(path, wait.deadline());
  }();
  if (socket.error() == ETIMEDOUT) {
    problem_ = budget_.NoAnswer();
  } else if (!socket) {
    problem_ = socket.problem();
  } else {
    socket_ = std::move(*socket);
  }
}

bool SwayIpc::Fail(std::string problem) {
  problem_ = std::move(problem);
  socket_.reset();
  return false;
}

bool SwayIpc::Wait(short events) {
  for (;;) {
    if (budget_.spent()) return Fail(budget_.NoAnswer());
    const WaitBudget::Wait wait(budget_);
    pollfd entry{socket_.get(), events, 0};
    const int ready = ::poll(&entry, 1, wait.PollTimeout());
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return Fail(std::string("could not be waited on: ") + std::strerror(errno));
  }
}

bool SwayIpc::SendAll(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t written = ::send(socket_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (written > 0) {
      sent += static_cast<std::size_t>(written);
    } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!Wait(POLLOUT)) return false;
    } else {
      return Fail("went away");
    }
  }
  return true;
}

// Every pass, whether it reads at once or waits first, is charged to the
// budget, and none starts once the budget is spent: a server that floods the
// socket is cut off as surely as one that stays silent.
bool SwayIpc::ReceiveAll(char* data, std::size_t size) {
  std::size_t received = 0;
  while (received < size) {
    if (budget_.spent()) return Fail(budget_.NoAnswer());
    const WaitBudget::Wait wait(budget_);
    const ssize_t read = ::recv(socket_.get(), data + received, size - received, 0);
    if (read > 0) {
      received += static_cast<std::size_t>(read);
      continue;
    }
    if (read == 0 || (errno != EAGAIN && errno != EINTR)) return Fail("went away");
    pollfd entry{socket_.get(), POLLIN, 0};
    if (::poll(&entry, 1, wait.PollTimeout()) < 0 && errno != EINTR) {
      return Fail(std::string("could not be waited on: ") + std::strerror(errno));
    }
  }
  return true;
}

bool SwayIpc::Exchange(std::uint32_t type, const std::string& payload, std::string& reply) {
  if (!socket_) return false;
  if (payload.size() > kMaxReply) return Fail("was sent a message too long");
  std::string message(kMagic, sizeof kMagic);
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), sizeof length);
  message.append(reinterpret_cast<const char*>(&type), sizeof type);
  message += payload;
  if (!SendAll(message)) return false;
  for (;;) {
    char header[kHeaderSize];
    if (!ReceiveAll(header, sizeof header)) return false;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0) return Fail("sent a reply without the i3-ipc header");
    std::uint32_t size = 0;
    std::uint32_t reply_type = 0;
    std::memcpy(&size, header + sizeof kMagic, sizeof size);
    std::memcpy(&reply_type, header + sizeof kMagic + sizeof size, sizeof reply_type);
    // Refused before a byte of it is read or stored.
    if (size > kMaxReply) {
      return Fail("sent a reply of " + std::to_string(size) + " bytes, more than the " +
                  std::to_string(kMaxReply >> 20) + " MiB allowed");
    }
    reply.assign(size, '\0');
    if (!ReceiveAll(reply.data(), size)) return false;
    if ((reply_type & kEventBit) != 0) continue;
    if (reply_type != type) return Fail("sent a reply of another type");
    return true;
  }
}

}  // namespace vesk::platform::linux_backend
