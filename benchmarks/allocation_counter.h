// Counts heap allocations made anywhere in the benchmark binary, which replaces the global
// operator new and delete to do so.
#pragma once

#include <cstdint>

namespace morvik::bench {

// Allocations since the program started (every thread).
std::uint64_t allocationCount();

}  // namespace morvik::bench
