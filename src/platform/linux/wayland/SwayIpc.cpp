#include "platform/linux/wayland/SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

namespace vesk::platform::linux_backend {
namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderSize = sizeof kMagic + 2 * sizeof(std::uint32_t);
// A reply larger than this is taken as a broken server rather than read.
constexpr std::uint32_t kMaxReply = 64U << 20;
// Events carry this bit in their type; none is subscribed to, so any is skipped.
constexpr std::uint32_t kEventBit = 0x80000000U;

std::string Seconds(SwayIpc::Clock::duration budget) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", std::chrono::duration<double>(budget).count());
  return text;
}

}  // namespace

SwayIpc::SwayIpc(const std::string& path, Clock::duration budget)
    : deadline_(Clock::now() + budget), budget_text_(Seconds(budget)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    problem_ = "is not a usable socket path";
    return;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket) {
    problem_ = std::string("could not be opened: ") + std::strerror(errno);
    return;
  }
  // A full backlog makes connect() on a Unix socket fail with EAGAIN: the
  // server is busy, so it is tried again until the deadline.
  while (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      problem_ = std::string("refused the connection: ") + std::strerror(errno);
      return;
    }
    if (Clock::now() >= deadline_) {
      problem_ = "did not answer within " + budget_text_;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  socket_ = std::move(socket);
}

bool SwayIpc::Fail(std::string problem) {
  problem_ = std::move(problem);
  socket_.reset();
  return false;
}

bool SwayIpc::Wait(short events) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
    if (left.count() <= 0) return Fail("did not answer within " + budget_text_);
    pollfd entry{socket_.get(), events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
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

bool SwayIpc::ReceiveAll(char* data, std::size_t size) {
  std::size_t received = 0;
  while (received < size) {
    const ssize_t read = ::recv(socket_.get(), data + received, size - received, 0);
    if (read > 0) {
      received += static_cast<std::size_t>(read);
    } else if (read < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!Wait(POLLIN)) return false;
    } else {
      return Fail("went away");
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
    if (size > kMaxReply) return Fail("sent a reply too long");
    reply.assign(size, '\0');
    if (!ReceiveAll(reply.data(), size)) return false;
    if ((reply_type & kEventBit) != 0) continue;
    if (reply_type != type) return Fail("sent a reply of another type");
    return true;
  }
}

}  // namespace vesk::platform::linux_backend
