#pragma once

#include <windows.h>

#include <string>

namespace vesk::com {

// Module-wide state of the in-process server: the count of live objects and
// of server locks (together they decide DllCanUnloadNow) and the DLL's path.
class ComModule {
 public:
  static void ObjectCreated() noexcept;
  static void ObjectDestroyed() noexcept;
  static void Lock(bool lock) noexcept;
  // True when no object lives, no lock is held and no hidden window is
  // left; destroys the calling thread's hidden window first when nothing
  // else holds the library (those of other threads keep it loaded).
  static bool CanUnload() noexcept;
  // Keeps the DLL loaded until the process ends, from the first call on.
  // The statically linked runtime takes thread-local storage indices the
  // first time our code runs and never gives them back on unload, so a
  // host loading and freeing the DLL over and over would run out of them.
  static void Pin() noexcept;
  // The module this code is linked into (the DLL).
  static HMODULE Handle() noexcept;
  // Its full path.
  static std::wstring Path();
};

}  // namespace vesk::com
