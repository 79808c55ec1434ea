#include "vesk-host/ComApartment.h"

#include <windows.h>
#include <objbase.h>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "vesk-host/ComFailure.h"

namespace vesk::host_app {

ComApartment::ComApartment() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) ComFailure::Throw(errors::kCannotCreateObject, "Cannot join a COM apartment", hr);
}

ComApartment::~ComApartment() { CoUninitialize(); }

}  // namespace vesk::host_app
