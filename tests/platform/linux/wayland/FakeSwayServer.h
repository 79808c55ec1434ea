#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::test {

// An i3-IPC server on a Unix socket of its own, answering one client in a
// thread: GET_TREE with `tree`, RUN_COMMAND with `command_reply`, recording
// the commands. `silent` never answers; `bad_magic` answers with a broken
// header; `close_after_tree` hangs up once it has answered one tree;
// `flood` answers a tree with bytes that never end: a reply announced as
// 8 MiB sent 1 KiB every 2 ms, or events as fast as the client reads them.
class FakeSwayServer {
 public:
  struct Script {
    std::string tree;
    std::string command_reply = R"([{"success":true}])";
    bool silent = false;
    bool bad_magic = false;
    bool close_after_tree = false;
    enum class Flood { kNone, kTrickle, kEvents } flood = Flood::kNone;
  };

  explicit FakeSwayServer(Script script) : script_(std::move(script)) {
    char dir[] = "/tmp/fake-sway-XXXXXX";
    dir_ = ::mkdtemp(dir);
    path = dir_ + "/ipc.sock";
    listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_.get(), 4);
    int ends[2];
    if (::pipe(ends) == 0) {
      stop_read_.reset(ends[0]);
      stop_write_.reset(ends[1]);
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeSwayServer() {
    stop_write_.reset();  // the end of the pipe wakes the thread
    thread_.join();
    ::unlink(path.c_str());
    ::rmdir(dir_.c_str());
  }
  FakeSwayServer(const FakeSwayServer&) = delete;
  FakeSwayServer& operator=(const FakeSwayServer&) = delete;

  std::vector<std::string> Commands() {
    const std::lock_guard lock(mutex_);
    return commands_;
  }

  std::string path;

 private:
  // Waits for `fd` to be readable; false once the server is told to stop.
  bool Readable(int fd) {
    pollfd entries[2] = {{fd, POLLIN, 0}, {stop_read_.get(), POLLIN, 0}};
    return ::poll(entries, 2, -1) > 0 && entries[1].revents == 0;
  }
  bool Read(int fd, char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
      if (!Readable(fd)) return false;
      const ssize_t got = ::recv(fd, data + done, size - done, 0);
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }
  void Reply(int fd, std::uint32_t type, const std::string& payload) {
    std::string message = Frame(type, static_cast<std::uint32_t>(payload.size()), payload);
    if (script_.bad_magic) message[5] = 'x';
    ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
  }
  static std::string Frame(std::uint32_t type, std::uint32_t size, const std::string& payload) {
    std::string frame = "i3-ipc";
    frame.append(reinterpret_cast<const char*>(&size), 4).append(reinterpret_cast<const char*>(&type), 4);
    return frame + payload;
  }
  // Sends until the client hangs up or the server is told to stop; the
  // chunk is whole frames, sent over and over from where the last send ended.
  void Flood(int fd) {
    const bool trickle = script_.flood == Script::Flood::kTrickle;
    std::string chunk(1024, ' ');
    if (trickle) {
      const std::string header = Frame(4, 8U << 20, "");
      ::send(fd, header.data(), header.size(), MSG_NOSIGNAL);
    } else {
      chunk.clear();
      while (chunk.size() < (64U << 10)) chunk += Frame(0x80000000U, 2, "{}");
    }
    for (std::size_t offset = 0;;) {
      pollfd entries[2] = {{fd, POLLOUT, 0}, {stop_read_.get(), POLLIN, 0}};
      if (::poll(entries, 2, -1) <= 0 || entries[1].revents != 0) return;
      const ssize_t sent = ::send(fd, chunk.data() + offset, chunk.size() - offset, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent < 0 && errno != EAGAIN) return;
      if (sent > 0) offset = (offset + static_cast<std::size_t>(sent)) % chunk.size();
      if (trickle && ::poll(&entries[1], 1, 2) != 0) return;
    }
  }
  void Serve() {
    if (!Readable(listener_.get())) return;
    const vesk::platform::linux_backend::UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    for (;;) {
      char header[14];
      std::uint32_t size = 0;
      std::uint32_t type = 0;
      if (!Read(client.get(), header, sizeof header)) return;
      std::memcpy(&size, header + 6, 4);
      std::memcpy(&type, header + 10, 4);
      std::string payload(size, '\0');
      if (!Read(client.get(), payload.data(), size)) return;
      if (script_.silent) continue;
      if (type == 4 && script_.flood != Script::Flood::kNone) return Flood(client.get());
      if (type == 0) {
        const std::lock_guard lock(mutex_);
        commands_.push_back(payload);
      }
      Reply(client.get(), type, type == 4 ? script_.tree : script_.command_reply);
      if (type == 4 && script_.close_after_tree) return;
    }
  }

  Script script_;
  std::string dir_;
  vesk::platform::linux_backend::UniqueFd listener_;
  vesk::platform::linux_backend::UniqueFd stop_read_;
  vesk::platform::linux_backend::UniqueFd stop_write_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;  // last: it starts once everything above is set
};

}  // namespace vesk::test
