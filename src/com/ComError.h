#pragma once

#include <windows.h>

namespace vesk::com {

// The one catch-all at the COM boundary.
class ComError {
 public:
  // The HRESULT for the exception being handled: a vesk::Failure becomes
  // MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number), with its source
  // and description set as the thread's error information for `iid`;
  // anything else is first converted as WithFailures does. Never throws.
  static HRESULT FromCurrentException(const IID& iid) noexcept;
  // The HRESULT for failure number `number`.
  static HRESULT ForNumber(int number) noexcept;
};

}  // namespace vesk::com
