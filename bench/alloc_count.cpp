// Counts every heap allocation of the process: the benchmark binary's own
// malloc family, in front of the C library's. The C library, libstdc++ and
// iniparser all allocate through these (glibc supports replacing malloc).
#include "alloc_count.h"

#include <errno.h>
#include <stddef.h>

#include <atomic>
#include <cstdint>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* ptr, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* ptr);
}

namespace {

std::atomic<std::uint64_t> allocations{0};

void* counted(void* ptr) {
    if (ptr != nullptr) allocations.fetch_add(1, std::memory_order_relaxed);
    return ptr;
}

}  // namespace

namespace quorvik::bench {

std::uint64_t allocation_count() {
    return allocations.load(std::memory_order_relaxed);
}

}  // namespace quorvik::bench

extern "C" {

void* malloc(size_t size) {
    return counted(__libc_malloc(size));
}

void* calloc(size_t count, size_t size) {
    return counted(__libc_calloc(count, size));
}

void* realloc(void* ptr, size_t size) {
    return counted(__libc_realloc(ptr, size));
}

void* memalign(size_t alignment, size_t size) {
    return counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(size_t alignment, size_t size) {
    return counted(__libc_memalign(alignment, size));
}

int posix_memalign(void** out, size_t alignment, size_t size) {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* ptr = counted(__libc_memalign(alignment, size));
    if (ptr == nullptr) return ENOMEM;
    *out = ptr;
    return 0;
}

void free(void* ptr) {
    __libc_free(ptr);
}
}
