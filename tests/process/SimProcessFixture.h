#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimPlatform.h"

namespace vesk::test {

// A simulated platform with helpers to script processes and windows; checks
// after each test that every handle and window session was released.
class SimProcessFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(sim.processes.open_handles(), 0) << "handles left open";
    EXPECT_EQ(sim.processes.bad_closes(), 0) << "handles closed that were not open";
    EXPECT_EQ(sim.windows.open_sessions(), 0) << "window sessions left open";
  }
  platform::sim::SimProcess& AddProcess(std::uint32_t id, std::string path) {
    platform::sim::SimProcess process;
    process.id = id;
    process.path = std::move(path);
    sim.processes.processes.push_back(std::move(process));
    return sim.processes.processes.back();
  }
  // Adds a window below those already on the desktop.
  void AddWindow(platform::WindowHandle handle, std::uint32_t process_id, platform::WindowHandle owner = 0,
                 bool hidden = false) {
    sim.windows.desktop.push_back(platform::sim::SimWindow{handle, owner, process_id, hidden});
  }
  // The arguments of every call named `name`, in order.
  std::vector<std::vector<std::string>> ArgsOf(const std::string& name) const {
    std::vector<std::vector<std::string>> args;
    for (const auto& call : sim.log.calls()) {
      if (call.name == name) args.push_back(call.args);
    }
    return args;
  }
  platform::sim::InstalledSimPlatform sim;
};

}  // namespace vesk::test
