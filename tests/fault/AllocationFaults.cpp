#include "fault/AllocationFaults.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::int64_t> g_allocations{0};
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_fail_after{0};  // 0: disarmed
std::atomic<bool> g_thrown{false};
void (*g_hook)(void*) = nullptr;
void* g_hook_context = nullptr;

void* Allocate(std::size_t size) {
  ++g_allocations;
  std::int64_t remaining = g_fail_after.load();
  if (remaining > 0 && g_fail_after.compare_exchange_strong(remaining, remaining - 1) && remaining == 1) {
    g_thrown = true;
    if (g_hook != nullptr) g_hook(g_hook_context);
    throw std::bad_alloc();
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  ++g_live;
  return block;
}

void Free(void* block) noexcept {
  if (block == nullptr) return;
  --g_live;
  std::free(block);
}
}  // namespace

namespace vesk::test {

std::int64_t AllocationFaults::allocations() { return g_allocations.load(); }
std::int64_t AllocationFaults::live_blocks() { return g_live.load(); }
void AllocationFaults::FailAt(std::int64_t nth) {
  g_thrown = false;
  g_fail_after = nth;
}
void AllocationFaults::OnFault(void (*hook)(void*), void* context) {
  g_hook = hook;
  g_hook_context = context;
}
bool AllocationFaults::Disarm() {
  g_fail_after = 0;
  return g_thrown.exchange(false);
}

}  // namespace vesk::test

// The replaceable allocation functions; the aligned and nothrow forms keep
// the library's defaults, which the code under test does not use.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
