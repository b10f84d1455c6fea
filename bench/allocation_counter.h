// Counts the heap allocations made through operator new in the program that links
// allocation_counter.cc, which replaces the global allocation functions.
#ifndef HALVEX_BENCH_ALLOCATION_COUNTER_H_
#define HALVEX_BENCH_ALLOCATION_COUNTER_H_

#include <cstdint>

namespace halvex::bench {

// Allocations made so far, by every thread.
uint64_t AllocationCount();

}  // namespace halvex::bench

#endif  // HALVEX_BENCH_ALLOCATION_COUNTER_H_
