// Counts every allocation of the benchmark process, so each benchmark can
// report its allocations per round trip beside its time.
#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <pugixml.hpp>

namespace {

std::atomic<std::size_t> g_allocations{0};

void* CountedMalloc(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace vesk::bench {

std::size_t AllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

void CountPugiAllocations() { pugi::set_memory_management_functions(&CountedMalloc, &std::free); }

}  // namespace vesk::bench

void* operator new(std::size_t size) {
  if (void* p = CountedMalloc(size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
