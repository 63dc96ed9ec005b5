#pragma once
// A counting allocator: the program that links counting_new.cpp replaces the global operator
// new, and every heap allocation made through it is counted. One of them can be made to fail.

#include <cstdint>

namespace murl::testing_support {

// Allocations made through operator new since the program started.
uint64_t AllocationCount() noexcept;

// The `nth` allocation from now on (1 = the next one) throws std::bad_alloc; 0 fails none.
void FailAllocation(uint64_t nth) noexcept;

}  // namespace murl::testing_support
