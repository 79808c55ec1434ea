#pragma once

#include <cstddef>

namespace vesk::bench {

// Heap allocations made so far through operator new, and through pugixml's
// allocator once CountPugiAllocations has run.
std::size_t AllocationCount();

// Routes pugixml's allocations (it calls malloc, not operator new) through the
// counter, so the twins' figures compare with ours.
void CountPugiAllocations();

}  // namespace vesk::bench
