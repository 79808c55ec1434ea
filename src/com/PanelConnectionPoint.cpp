#include "com/PanelConnectionPoint.h"

#include <olectl.h>

#include "com/ComEnumerator.h"

namespace vesk::com {

PanelConnectionPoint::PanelConnectionPoint(IConnectionPointContainer& container, const IID& events) noexcept
    : container_(container), events_(events) {}

HRESULT PanelConnectionPoint::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG PanelConnectionPoint::AddRef() { return container_.AddRef(); }
ULONG PanelConnectionPoint::Release() { return container_.Release(); }

HRESULT PanelConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = events_;
  return S_OK;
}

HRESULT PanelConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  container_.AddRef();
  *container = &container_;
  return S_OK;
}

HRESULT PanelConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  ComPtr<IUnknown> held;
  if (FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(held.put()))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(held.put())))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    sinks_.push_back(std::move(held));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  *cookie = static_cast<DWORD>(sinks_.size());
  return S_OK;
}

HRESULT PanelConnectionPoint::Unadvise(DWORD cookie) {
  if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1]) return CONNECT_E_NOCONNECTION;
  sinks_[cookie - 1].reset();
  return S_OK;
}

HRESULT PanelConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  try {
    std::vector<CONNECTDATA> live;
    for (std::size_t i = 0; i < sinks_.size(); ++i) {
      if (sinks_[i]) live.push_back(CONNECTDATA{sinks_[i].get(), static_cast<DWORD>(i + 1)});
    }
    return ConnectionEnumerator::Create(live, connections);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

void PanelConnectionPoint::Clear() noexcept { sinks_.clear(); }

}  // namespace vesk::com
