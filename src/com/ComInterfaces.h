#pragma once

#include <windows.h>
#include <oaidl.h>

namespace vesk::com {

// The host's call into a plug-in (dual): one request text in, one reply out.
// A failure is a failed HRESULT with error information.
class IPlugInCom : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE MethodCall(BSTR args, BSTR* reply) = 0;
};

// PlugIn's default interface (dual, no members of its own).
class PlugInDefault : public IDispatch {};

// A settings panel's default interface (dual, no members of its own).
class PanelDefault : public IDispatch {};

}  // namespace vesk::com
