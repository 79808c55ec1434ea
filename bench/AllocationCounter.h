#pragma once

#include <cstddef>

namespace vesk::bench {

// Heap allocations made through operator new in this process so far.
std::size_t AllocationCount();

}  // namespace vesk::bench
