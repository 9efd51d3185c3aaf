#include "bench/sane_backend/heap_count.hpp"

#include <malloc.h>

#include <atomic>
#include <cerrno>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* memory);
}

namespace sane_bench {

namespace {

std::atomic<std::size_t> in_use{0};
std::atomic<std::size_t> peak{0};

void grew(std::size_t bytes) {
    const auto now = in_use.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    auto seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void shrank(std::size_t bytes) { in_use.fetch_sub(bytes, std::memory_order_relaxed); }

void* counted(void* memory) {
    if (memory) grew(malloc_usable_size(memory));
    return memory;
}

}  // namespace

std::size_t heap_in_use() { return in_use.load(); }
std::size_t heap_peak() { return peak.load(); }
void reset_heap_peak() { peak.store(in_use.load()); }

}  // namespace sane_bench

extern "C" {

void* malloc(std::size_t size) { return sane_bench::counted(__libc_malloc(size)); }

void* calloc(std::size_t count, std::size_t size) { return sane_bench::counted(__libc_calloc(count, size)); }

void free(void* memory) {
    if (!memory) return;
    sane_bench::shrank(malloc_usable_size(memory));
    __libc_free(memory);
}

void* realloc(void* memory, std::size_t size) {
    const std::size_t before = memory ? malloc_usable_size(memory) : 0;
    void* moved = __libc_realloc(memory, size);
    if (moved) {
        sane_bench::shrank(before);
        sane_bench::grew(malloc_usable_size(moved));
    } else if (size == 0) {
        sane_bench::shrank(before);
    }
    return moved;
}

void* memalign(std::size_t alignment, std::size_t size) { return sane_bench::counted(__libc_memalign(alignment, size)); }

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* memory = memalign(alignment, size);
    if (!memory) return ENOMEM;
    *out = memory;
    return 0;
}

}  // extern "C"
