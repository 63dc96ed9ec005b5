#pragma once
// A counting allocator: the program that links counting_new.cpp replaces the global operator
// new, and every heap allocation made through it is counted.

#include <cstdint>

namespace murl::bench {

// Allocations made through operator new since the program started.
uint64_t AllocationCount() noexcept;

}  // namespace murl::bench
