#include "vesk-host/ComPlugIn.h"

#include <objbase.h>

#include "com/ComIds.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/Utf16.h"
#include "vesk-host/ComFailure.h"
#include "vesk-host/UniqueBstr.h"

namespace vesk::host_app {

std::string ComPlugIn::ProgIdOf(const std::string& class_name) {
  if (class_name == "plugin") return "VeskProgramManager.PlugIn";
  if (class_name == "ctlStartProgram" || class_name == "ctlEndProgram") return "VeskProgramManager." + class_name;
  return {};
}

std::unique_ptr<IPlugIn> ComPlugIn::Create(const std::string& class_name) {
  const std::string prog_id = ProgIdOf(class_name);
  if (prog_id.empty()) {
    throw Failure(errors::kCannotCreateObject, "vesk-host",
                  "Cannot create object: no class named \"" + class_name + "\"");
  }
  std::unique_ptr<ComPlugIn> plugin(new ComPlugIn());
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(platform::win32::Utf16::FromUtf8(prog_id).c_str(), &clsid);
  if (hr == CO_E_CLASSSTRING) {
    throw Failure(errors::kCannotCreateObject, "vesk-host",
                  "Cannot create object " + prog_id + ": the class is not registered (0x800401F3)");
  }
  if (FAILED(hr)) ComFailure::Throw(errors::kCannotCreateObject, "Cannot create object " + prog_id, hr);
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, com::kIID_IPlugIn,
                        reinterpret_cast<void**>(plugin->object_.put()));
  // A failure of the library's own (no display for a panel, say) keeps its number.
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) ComFailure::FromCall(hr);
  if (FAILED(hr)) ComFailure::Throw(errors::kCannotCreateObject, "Cannot create object " + prog_id, hr);
  return plugin;
}

std::string ComPlugIn::MethodCall(const std::string& args) {
  const std::wstring wide = platform::win32::Utf16::FromUtf8(args);
  const UniqueBstr request(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
  if (!request) throw Failure(errors::kOutOfMemory, "vesk-host", "Out of memory");
  BSTR reply = nullptr;
  const HRESULT hr = object_->MethodCall(request.get(), &reply);
  const UniqueBstr reply_owner(reply);
  if (FAILED(hr)) ComFailure::FromCall(hr);
  return Utf8Of(reply_owner);
}

}  // namespace vesk::host_app
