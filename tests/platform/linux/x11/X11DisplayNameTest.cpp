#include "platform/linux/x11/X11DisplayName.h"

#include <gtest/gtest.h>

#include <optional>

namespace vesk::platform::linux_backend {
namespace {

TEST(X11DisplayNameTest, Forms) {
  using Kind = X11DisplayName::Kind;
  const struct {
    const char* text;
    bool valid;
    Kind kind;
    const char* host;
    int display;
    int screen;
  } rows[] = {
      {":0", true, Kind::kLocal, "", 0, 0},
      {"unix:5.1", true, Kind::kLocal, "", 5, 1},
      {":59535", true, Kind::kLocal, "", 59535, 0},
      {"remote.example:10.2", true, Kind::kTcp, "remote.example", 10, 2},
      {"127.0.0.1:0", true, Kind::kTcp, "127.0.0.1", 0, 0},
      {"/tmp/launch/socket:3", true, Kind::kSocketPath, "/tmp/launch/socket", 3, 0},
      {"unix/:7", true, Kind::kLocal, "", 7, 0},
      {"unix/remote.example:7.1", true, Kind::kLocal, "", 7, 1},  // XCB ignores the host
      {"unix/unix:2", true, Kind::kLocal, "", 2, 0},
      {"tcp/remote.example:10.2", true, Kind::kTcp, "remote.example", 10, 2},
      {"inet/10.0.0.1:1", true, Kind::kTcp, "10.0.0.1", 1, 0},
      {"inet6/remote.example:0", true, Kind::kTcp, "remote.example", 0, 0},
      {"tcp/:0", false, Kind::kLocal, "", 0, 0},  // XCB tries only Unix sockets, and refuses them
      {"inet6/unix:0", false, Kind::kLocal, "", 0, 0},
      {"decnet/host:0", false, Kind::kLocal, "", 0, 0},
      {"/:0", true, Kind::kSocketPath, "/", 0, 0},  // a path, not an empty protocol
      {"x/unix/:0", false, Kind::kLocal, "", 0, 0},
      {"UNIX/:0", false, Kind::kLocal, "", 0, 0},
      {"unix/", false, Kind::kLocal, "", 0, 0},
      {"unix/:x", false, Kind::kLocal, "", 0, 0},
      {"", false, Kind::kLocal, "", 0, 0},
      {"0", false, Kind::kLocal, "", 0, 0},
      {":", false, Kind::kLocal, "", 0, 0},
      {":x", false, Kind::kLocal, "", 0, 0},
      {":0.", false, Kind::kLocal, "", 0, 0},
      {":0.1.2", false, Kind::kLocal, "", 0, 0},
      {":-1", false, Kind::kLocal, "", 0, 0},
      {":59536", false, Kind::kLocal, "", 0, 0},  // no TCP port left for it
      {":123456", false, Kind::kLocal, "", 0, 0},
      {"host::0", false, Kind::kLocal, "", 0, 0},  // DECnet
  };
  for (const auto& row : rows) {
    const std::optional<X11DisplayName> name = X11DisplayName::Parse(row.text);
    ASSERT_EQ(name.has_value(), row.valid) << row.text;
    if (!name) continue;
    EXPECT_EQ(name->kind, row.kind) << row.text;
    EXPECT_EQ(name->host, row.host) << row.text;
    EXPECT_EQ(name->display, row.display) << row.text;
    EXPECT_EQ(name->screen, row.screen) << row.text;
  }
}

}  // namespace
}  // namespace vesk::platform::linux_backend
