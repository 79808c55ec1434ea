#pragma once

#include <cstdint>

namespace vesk::test {

// Control of this executable's replacement of the global operator new: it
// counts every allocation and every live block, and while armed throws
// std::bad_alloc at the n-th allocation (once).
class AllocationFaults {
 public:
  // Allocations made since the program started.
  static std::int64_t allocations();
  // Blocks allocated and not yet freed.
  static std::int64_t live_blocks();
  // The `nth` allocation from now (1 is the next one) throws std::bad_alloc.
  static void FailAt(std::int64_t nth);
  // Disarms a fault not reached yet; true when the armed fault was thrown.
  static bool Disarm();
  // Calls `hook(context)` just before the armed fault is thrown (nullptr: no
  // hook); the hook must not allocate.
  static void OnFault(void (*hook)(void*), void* context);
};

}  // namespace vesk::test
