#include "com/ComError.h"

#include <oleauto.h>

#include "com/ComPtr.h"
#include "host/Failure.h"
#include "platform/win32/Utf16.h"

namespace vesk::com {
namespace {

// Sets the thread's error information; a failure to do so is not reported.
void SetInfo(const IID& iid, const std::string& source, const std::string& description) noexcept {
  try {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(platform::win32::Utf16::FromUtf8(source).c_str()));
    create->SetDescription(const_cast<LPOLESTR>(platform::win32::Utf16::FromUtf8(description).c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.put())))) {
      SetErrorInfo(0, info.get());
    }
  } catch (...) {
  }
}

}  // namespace

HRESULT ComError::ForNumber(int number) noexcept {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number) & 0xFFFFu);
}

HRESULT ComError::FromCurrentException(const IID& iid) noexcept {
  try {
    try {
      throw;
    } catch (const Failure&) {
      throw;
    } catch (...) {
      RethrowAsFailure("VeskProgramManager");
    }
  } catch (const Failure& failure) {
    SetInfo(iid, failure.source(), failure.description());
    return ForNumber(failure.number());
  } catch (...) {
  }
  return E_UNEXPECTED;
}

}  // namespace vesk::com
