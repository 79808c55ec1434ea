#pragma once

#include <windows.h>
#include <ocidl.h>

#include <atomic>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "com/ComModule.h"

namespace vesk::com {

// What an enumerator hands out holds a reference: connection points and the
// sinks of connections.
inline void AddRefItem(IConnectionPoint* point) noexcept { point->AddRef(); }
inline void ReleaseItem(IConnectionPoint* point) noexcept { point->Release(); }
inline void AddRefItem(const CONNECTDATA& data) noexcept { data.pUnk->AddRef(); }
inline void ReleaseItem(const CONNECTDATA& data) noexcept { data.pUnk->Release(); }

// An IEnumConnectionPoints or IEnumConnections over the items there were
// when it was made (a snapshot, as COM's enumerators are); clones share the
// snapshot and start where their original stands. Each item handed out
// carries a reference for the caller to release.
template <class Enum, class Item>
class ComEnumerator final : public Enum {
 public:
  // Takes a reference to each of `items` for the snapshot.
  static HRESULT Create(std::span<const Item> items, Enum** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    try {
      *out = new ComEnumerator(std::make_shared<const Snapshot>(items), 0);
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Enum))) {
      *out = static_cast<Enum*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (fetched == nullptr && count != 1)) return E_POINTER;
    const std::vector<Item>& items = snapshot_->items;
    ULONG given = 0;
    for (; given < count && position_ < items.size(); ++given, ++position_) {
      out[given] = items[position_];
      AddRefItem(out[given]);
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const std::size_t left = snapshot_->items.size() - position_;
    const std::size_t skipped = count < left ? count : left;
    position_ += skipped;
    return skipped == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Enum** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) ComEnumerator(snapshot_, position_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  struct Snapshot {
    explicit Snapshot(std::span<const Item> held) : items(held.begin(), held.end()) {
      for (const Item& item : items) AddRefItem(item);
    }
    ~Snapshot() {
      for (const Item& item : items) ReleaseItem(item);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    const std::vector<Item> items;
  };

  ComEnumerator(std::shared_ptr<const Snapshot> snapshot, std::size_t position) noexcept
      : snapshot_(std::move(snapshot)), position_(position) {
    ComModule::ObjectCreated();
  }
  ~ComEnumerator() { ComModule::ObjectDestroyed(); }

  std::atomic<ULONG> references_{1};
  std::shared_ptr<const Snapshot> snapshot_;
  std::size_t position_;
};

using ConnectionPointEnumerator = ComEnumerator<IEnumConnectionPoints, IConnectionPoint*>;
using ConnectionEnumerator = ComEnumerator<IEnumConnections, CONNECTDATA>;

}  // namespace vesk::com
