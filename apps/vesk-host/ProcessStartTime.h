#pragma once

#include <cstdint>
#include <optional>

namespace vesk::host_app {

// When process `id` started, in the system's own units (clock ticks since
// boot on Linux, the creation time on Windows): with the id it tells one
// process from a later one that reuses the id. nullopt when no process of
// that id is running; one that has exited but is not yet reaped (a zombie)
// is not running.
std::optional<std::uint64_t> ProcessStartTime(std::uint32_t id);

}  // namespace vesk::host_app
