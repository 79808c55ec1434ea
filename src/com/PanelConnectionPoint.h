#pragma once

#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "com/ComPtr.h"

namespace vesk::com {

// The one connection point of a settings panel, for its event interface,
// which declares no events: it keeps the sinks that advise it and never
// calls them. It lives inside its container and shares the container's
// reference count.
class PanelConnectionPoint final : public IConnectionPoint {
 public:
  PanelConnectionPoint(IConnectionPointContainer& container, const IID& events) noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
  // Accepts a sink that implements the event interface or IDispatch.
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

  // Lets go of every sink (the control is closing).
  void Clear() noexcept;

 private:
  IConnectionPointContainer& container_;
  const IID& events_;
  std::vector<ComPtr<IUnknown>> sinks_;  // the cookie is the index plus one
};

}  // namespace vesk::com
