#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

#include "com/ComClass.h"

namespace vesk::com {

// The one class factory: creates objects of the table row it was made for.
// A live factory counts as an object of the module.
class ComClassFactory final : public IClassFactory {
 public:
  // A factory for `row`, asked for `iid`.
  static HRESULT Create(const ComClass& row, REFIID iid, void** out) noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  explicit ComClassFactory(const ComClass& row) noexcept;
  ~ComClassFactory();

  std::atomic<ULONG> references_{1};
  const ComClass& row_;
};

}  // namespace vesk::com
