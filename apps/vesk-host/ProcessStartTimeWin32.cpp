#include <windows.h>

#include "platform/win32/UniqueResource.h"
#include "vesk-host/ProcessStartTime.h"

namespace vesk::host_app {

// The creation time of GetProcessTimes. A process that has exited keeps its
// object while someone holds a handle; it is running only while its handle
// is not signalled.
std::optional<std::uint64_t> ProcessStartTime(std::uint32_t id) {
  const platform::win32::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
  if (!process) return std::nullopt;
  if (WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return std::nullopt;
  FILETIME created{};
  FILETIME exited{};
  FILETIME kernel{};
  FILETIME user{};
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return std::nullopt;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace vesk::host_app
