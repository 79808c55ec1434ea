#pragma once

#include <cstdint>

namespace vesk::platform {

class IShell;
class IMessageBox;
class IWindows;
class IPanelUiFactory;
class IProcesses;
class IMessagePump;

// The set of platform services the library runs on. Each member is one
// narrow interface; the logic never calls the operating system otherwise.
struct Platform {
  IShell* shell = nullptr;
  IMessageBox* message_box = nullptr;
  IWindows* windows = nullptr;
  IPanelUiFactory* ui = nullptr;  // settings panels and their file-open dialogs
  IProcesses* processes = nullptr;
  IMessagePump* message_pump = nullptr;
  // Distinguishes platform instances for per-thread caches (frmMain).
  std::uint64_t serial = 0;
};

// The platform of the calling thread: the one a ScopedPlatform installed on
// this thread, or else the real platform of the build.
Platform& Current();

// The real platform of this build (Linux or Win32), created on first use.
Platform& RealPlatform();

// A fresh serial number for a new Platform instance.
std::uint64_t NextPlatformSerial();

// Installs `platform` for the calling thread for its lifetime (tests, and
// hosts that bring their own services); restores the previous one after.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

}  // namespace vesk::platform
