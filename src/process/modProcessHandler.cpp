#include "process/modProcessHandler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/IMessagePump.h"
#include "platform/IProcesses.h"
#include "platform/IWindows.h"
#include "platform/Platform.h"
#include "platform/UniqueResource.h"
#include "platform/WindowSession.h"

namespace vesk {
namespace {

using platform::Handle;
using platform::IProcesses;

constexpr const char* kSource = "modProcessHandler";
constexpr std::uint32_t kModuleBufferBytes = 200;
constexpr std::uint32_t kFileNameLength = 500;

// Releases a process handle or snapshot through the service that issued it,
// on the paths where a failure is already on its way: a failing release then
// is dropped, so that the first failure is the one reported. On the normal
// path the scan releases the handle itself, and a failure there is raised.
struct PlatformHandleCloser {
  IProcesses* processes = nullptr;
  void operator()(Handle handle) const noexcept {
    try {
      processes->CloseHandle(handle);
    } catch (...) {
    }
  }
};
using UniquePlatformHandle = platform::UniqueResource<Handle, PlatformHandleCloser, Handle{0}>;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// ASCII letters only, byte by byte: UTF-8 sequences pass unchanged, and the
// target and the process keys use the same conversion.
void UpperCaseInPlace(std::string& text) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = kOnes * 0x80;
  std::size_t i = 0;
  for (; text.size() - i >= 8; i += 8) {  // eight bytes at a time
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, sizeof word);
    const std::uint64_t low = word & ~kHighs;  // adding to these never carries into the next byte
    const std::uint64_t lower = (low + kOnes * (0x80 - 'a')) & ~(low + kOnes * (0x80 - 'z' - 1)) & ~word & kHighs;
    word ^= lower >> 2;  // 0x20, the case bit, in each lower-case ASCII letter
    std::memcpy(text.data() + i, &word, sizeof word);
  }
  for (; i < text.size(); ++i) {
    if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  }
}

std::string UpperCase(std::string text) {
  UpperCaseInPlace(text);
  return text;
}

// Trim, in place.
void TrimInPlace(std::string& text) {
  const auto last = text.find_last_not_of(' ');
  text.resize(last == std::string::npos ? 0 : last + 1);
  text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
}

std::string RemoveNuls(std::string text) {
  std::erase(text, '\0');
  return text;
}

// The list being built and its signed 16-bit match counter.
class Matches {
 public:
  void Append(platform::WindowHandle window) {
    if (count_ == std::numeric_limits<std::int16_t>::max()) {
      throw Failure(errors::kOverflow, kSource, "Overflow: more than 32767 matching processes");
    }
    count_ = static_cast<std::int16_t>(count_ + 1);
    list_.resize(static_cast<std::size_t>(count_) + 1);
    list_[static_cast<std::size_t>(count_) - 1] = window;
    list_[static_cast<std::size_t>(count_)] = 0;
  }
  WindowList& list() { return list_; }

 private:
  WindowList list_ = WindowList(1, 0);
  std::int16_t count_ = 0;
};

std::int32_t Doubled(std::int32_t size) {
  if (size > std::numeric_limits<std::int32_t>::max() / 2) {
    throw Failure(errors::kOverflow, kSource, "Overflow: process id buffer beyond 2 GB");
  }
  return size * 2;
}

// Both scans call on_match(id, name) for each matching process, in scan order.
template <class OnMatch>
void ToolHelpScan(IProcesses& processes, const std::string& target_key, OnMatch on_match) {
  UniquePlatformHandle snapshot(processes.CreateToolhelp32Snapshot(platform::kSnapProcess, 0),
                                      PlatformHandleCloser{&processes});
  if (!snapshot) return;
  platform::ProcessEntry entry;
  entry.dwSize = platform::kProcessEntrySize;
  for (bool delivered = processes.Process32FirstEntry(snapshot.get(), entry); delivered;
       delivered = processes.Process32NextEntry(snapshot.get(), entry)) {
    // A name cut to fit the record is never compared: a prefix of a long path
    // must not stand for it.
    if (entry.exe_file_cut) continue;
    const std::string name = modProcessHandler::StripLastChar(entry.szExeFile);
    if (modProcessHandler::ProcessKey(name) == target_key) on_match(entry.th32ProcessID, name);
  }
  processes.CloseHandle(snapshot.release());
}

// The process id buffer of one scan: small ones (the usual first sizes) live
// inline, larger ones on the heap. Each scan has its own, so a nested scan
// never touches the ids an outer one is still walking.
class ProcessIds {
 public:
  // A buffer of `count` zeroed ids.
  void Assign(std::size_t count) {
    if (count <= inline_.size()) {
      std::fill_n(inline_.begin(), count, 0u);
      data_ = inline_.data();
    } else {
      heap_.assign(count, 0);
      data_ = heap_.data();
    }
    size_ = count;
  }
  void Shrink(std::size_t count) { size_ = count; }
  std::uint32_t* data() { return data_; }
  std::size_t size() const { return size_; }
  const std::uint32_t* begin() const { return data_; }
  const std::uint32_t* end() const { return data_ + size_; }

 private:
  std::array<std::uint32_t, 32> inline_;
  std::vector<std::uint32_t> heap_;
  std::uint32_t* data_ = inline_.data();
  std::size_t size_ = 0;
};

void ListProcessIds(IProcesses& processes, platform::IMessagePump& pump, ProcessIds& ids) {
  std::int32_t size = 8;
  std::uint32_t returned = 96;
  while (static_cast<std::int64_t>(size) <= static_cast<std::int64_t>(returned)) {
    pump.DispatchPendingMessages();
    size = Doubled(size);
    ids.Assign(static_cast<std::size_t>(size) / 4);
    processes.EnumProcesses(ids.data(), static_cast<std::uint32_t>(size), returned);
  }
  // Ids beyond what the buffer holds are an index out of range.
  const std::size_t count = returned / 4;
  if (count > ids.size()) throw Failure(errors::kIndexOutOfRange, kSource, "Subscript out of range");
  ids.Shrink(count);
}

// A process runs the target when its key equals the target's key, or when
// the platform finds it runs the file the target names under another path
// (asked only then, with the process still open).
template <class OnMatch>
void ProcessStatusScan(IProcesses& processes, platform::IMessagePump& pump, const std::string& target_path,
                       OnMatch on_match) {
  const std::string target_key = UpperCase(target_path);
  ProcessIds ids;
  ListProcessIds(processes, pump, ids);
  for (const std::uint32_t id : ids) {
    pump.DispatchPendingMessages();
    UniquePlatformHandle process(
        processes.OpenProcess(platform::kProcessQueryInformation | platform::kProcessVmRead, false, id),
        PlatformHandleCloser{&processes});
    if (process) {
      std::array<Handle, kModuleBufferBytes / sizeof(Handle)> modules{};
      std::uint32_t needed = 0;
      if (processes.EnumProcessModules(process.get(), modules.data(), kModuleBufferBytes, needed)) {
        std::string file_name(kFileNameLength, '\0');
        bool cut = false;
        const std::uint32_t length =
            processes.GetModuleFileNameExA(process.get(), modules[0], file_name, kFileNameLength, cut);
        // A name cut short is never compared (see ToolHelpScan).
        file_name.resize(length);
        if (!cut) {
          const std::string key = modProcessHandler::ProcessKey(file_name);
          if (key == target_key || processes.RunsFile(process.get(), key, target_path)) on_match(id, file_name);
        }
      }
      processes.CloseHandle(process.release());
    }
    pump.DispatchPendingMessages();
  }
}

// Runs the scan of the platform's family over `path`, calling on_match(id,
// name) for each matching process, inside a window session when the matches
// need windows. Every failure is raised again as "ProcessInfo" with its
// number and source.
template <class OnMatch>
void Scan(std::string path, bool window_session, OnMatch on_match) {
  try {
    TrimInPlace(path);
    platform::Platform& current = platform::Current();
    std::optional<platform::WindowSession> session;
    if (window_session) session.emplace(*current.windows);
    switch (modProcessHandler::GetPlatformId()) {
      case static_cast<std::int32_t>(platform::kPlatformWindows):
        ToolHelpScan(*current.processes, UpperCase(std::move(path)), on_match);
        break;
      case static_cast<std::int32_t>(platform::kPlatformNt):
        ProcessStatusScan(*current.processes, *current.message_pump, path, on_match);
        break;
      default:
        break;
    }
  } catch (...) {
    try {
      RethrowAsFailure(kSource);
    } catch (const Failure& failure) {
      throw Failure(failure.number(), failure.source(), "ProcessInfo");
    }
  }
}

}  // namespace

WindowList modProcessHandler::FindProcessWindows(std::string path) {
  Matches matches;
  Scan(std::move(path), true,
       [&](std::uint32_t id, const std::string&) { matches.Append(modProcessHandler::FindTopLevelWindow(id)); });
  return std::move(matches.list());
}

std::vector<modProcessHandler::MatchedProcess> modProcessHandler::FindProcesses(std::string path) {
  std::vector<MatchedProcess> found;
  Scan(std::move(path), false, [&](std::uint32_t id, const std::string& name) {
    found.push_back(MatchedProcess{id, RemoveNuls(Trim(name))});
  });
  return found;
}

std::int32_t modProcessHandler::GetPlatformId() {
  platform::OsVersionInfo info;
  info.dwOSVersionInfoSize = platform::kOsVersionInfoSize;
  info.szCSDVersion.assign(platform::kCsdVersionLength, ' ');
  platform::Current().processes->GetVersionExA(info);
  return static_cast<std::int32_t>(info.dwPlatformId);
}

std::string modProcessHandler::StripLastChar(const std::string& s) {
  if (s.empty()) throw Failure(errors::kInvalidArgument, kSource, "Invalid procedure call: empty name");
  return s.substr(0, s.size() - 1);
}

platform::WindowHandle modProcessHandler::FindTopLevelWindow(std::uint32_t process_id) {
  platform::IWindows& windows = *platform::Current().windows;
  // A program's hidden helper windows (clipboard, input method, tray) may
  // stand above its main window: the first visible candidate gets the close
  // request, and the first hidden one only when the program shows none.
  platform::WindowHandle first_hidden = 0;
  for (platform::WindowHandle window = windows.FindWindowA(nullptr, nullptr); window != 0;
       window = windows.GetWindow(window, platform::kGetWindowNext)) {
    if (windows.GetParent(window) != 0) continue;
    std::uint32_t owner_process = 0;
    windows.GetWindowThreadProcessId(window, owner_process);
    if (owner_process != process_id) continue;
    if (windows.IsWindowVisible(window)) return window;
    if (first_hidden == 0) first_hidden = window;
  }
  return first_hidden;
}

std::string modProcessHandler::ProcessKey(const std::string& name) { return RemoveNuls(UpperCase(Trim(name))); }

}  // namespace vesk
