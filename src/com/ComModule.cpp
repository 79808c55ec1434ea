#include "com/ComModule.h"

#include <atomic>

#include "actions/frmMain.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/Platform.h"
#include "platform/win32/Win32Windows.h"

namespace vesk::com {
namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

void ComModule::ObjectCreated() noexcept { ++g_objects; }
void ComModule::ObjectDestroyed() noexcept { --g_objects; }
void ComModule::Lock(bool lock) noexcept { lock ? ++g_locks : --g_locks; }
bool ComModule::CanUnload() noexcept {
  if (g_objects.load() != 0 || g_locks.load() != 0) return false;
  try {
    platform::Platform& real = platform::RealPlatform();
    frmMain::Forget(real);
    return static_cast<platform::win32::Win32Windows*>(real.windows)->ReleaseThreadWindows();
  } catch (...) {
    return false;  // user32 could not be bound: keep the library
  }
}

void ComModule::Pin() noexcept {
  static std::atomic<bool> pinned{false};
  if (pinned.exchange(true)) return;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&ComModule::Pin), &module);
}

HMODULE ComModule::Handle() noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ComModule::Handle), &module);
  return module;
}

std::wstring ComModule::Path() {
  // Grow and retry: a path may be longer than MAX_PATH.
  for (DWORD size = MAX_PATH;; size *= 2) {
    std::wstring path(size, L'\0');
    const DWORD length = GetModuleFileNameW(Handle(), path.data(), size);
    if (length == 0) throw Failure(errors::kAccessRefused, "ComModule", "Cannot read the library's path");
    if (length < size) {
      path.resize(length);
      return path;
    }
    if (size > 32768) throw Failure(errors::kOverflow, "ComModule", "The library's path is too long");
  }
}

}  // namespace vesk::com
