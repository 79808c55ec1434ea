#pragma once

#include <utility>

namespace vesk::com {

// Owns one reference to a COM interface and releases it when destroyed.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    reset(std::exchange(other.p_, nullptr));
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Releases the current reference and gives the slot for an out argument.
  T** put() noexcept {
    reset();
    return &p_;
  }
  // Releases the current reference and takes over `p` (already counted).
  void reset(T* p = nullptr) noexcept {
    if (T* old = std::exchange(p_, p)) old->Release();
  }

 private:
  T* p_ = nullptr;
};

}  // namespace vesk::com
