#include "vesk-host/ComFailure.h"

#include <oleauto.h>

#include <cstdio>

#include "host/Failure.h"
#include "platform/win32/Win32Error.h"
#include "vesk-host/UniqueBstr.h"

namespace vesk::host_app {
namespace {

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace

void ComFailure::Throw(int number, const std::string& what, HRESULT hr) {
  throw Failure(number, "vesk-host",
                what + ": " + platform::win32::Win32Error::Text(static_cast<DWORD>(hr)) + " (" + Hex(hr) + ")");
}

void ComFailure::FromCall(HRESULT hr) {
  const int number = HRESULT_FACILITY(hr) == FACILITY_CONTROL ? HRESULT_CODE(hr) : static_cast<int>(hr);
  std::string source = "vesk-host";
  std::string description = "The call failed: " + platform::win32::Win32Error::Text(static_cast<DWORD>(hr)) + " (" +
                            Hex(hr) + ")";
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
    BSTR source_text = nullptr;
    BSTR description_text = nullptr;
    info->GetSource(&source_text);
    info->GetDescription(&description_text);
    info->Release();
    const UniqueBstr source_owner(source_text);
    const UniqueBstr description_owner(description_text);
    std::string from_source = Utf8Of(source_owner);
    std::string from_description = Utf8Of(description_owner);
    if (!from_source.empty()) source = std::move(from_source);
    if (!from_description.empty()) description = std::move(from_description);
  }
  throw Failure(number, source, description);
}

}  // namespace vesk::host_app
