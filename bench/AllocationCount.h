#pragma once
#include <cstdint>

namespace qv::bench {

// How many times operator new has been called in this process so far; the
// benchmarks replace the global allocation functions to count them.
uint64_t allocationCount();

} // namespace qv::bench
