#pragma once

#include <windows.h>

#include <atomic>

#include "com/ComInterfaces.h"
#include "com/PlugInServer.h"
#include "dispatch/plugin.h"

namespace vesk::com {

// The COM class PlugIn: the entry object `plugin` behind IPlugIn, with the
// default interface _PlugIn, IDispatch (described by IPlugIn's type
// information, so late-bound callers reach MethodCall) and ISupportErrorInfo.
class PlugInObject final : public PlugInServer<PlugInDefault> {
 public:
  // Creates an object and asks it for `iid` (the class table's create function).
  static HRESULT Create(REFIID iid, void** out) noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

 private:
  PlugInObject() noexcept;
  ~PlugInObject() override;
  IPlugIn& Target() override { return plugin_; }

  std::atomic<ULONG> references_{1};
  plugin plugin_;
};

}  // namespace vesk::com
