#pragma once

#include <windows.h>

#include <string>

namespace vesk::host_app {

// Failures of the host's own COM calls, as vesk::Failure raised by "vesk-host".
class ComFailure {
 public:
  // Throws `number` with "<what>: <system text> (0x<hr>)".
  [[noreturn]] static void Throw(int number, const std::string& what, HRESULT hr);

  // Throws the failure of a call into the server: a failure number of the
  // library (an HRESULT in the control facility) comes back as that number,
  // any other HRESULT as itself; source and description are the call's error
  // information, or "vesk-host" and the system's text when it left none.
  [[noreturn]] static void FromCall(HRESULT hr);
};

}  // namespace vesk::host_app
