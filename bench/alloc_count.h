// Heap allocations made by the whole process so far (malloc, calloc,
// realloc and the aligned allocators; operator new goes through malloc).
#pragma once

#include <cstdint>

namespace quorvik::bench {

std::uint64_t allocation_count();

}  // namespace quorvik::bench
