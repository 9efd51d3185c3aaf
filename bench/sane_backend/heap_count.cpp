#include "bench/sane_backend/heap_count.hpp"

#include <link.h>
#include <malloc.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>

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

// The code range counted apart, and its blocks in an open-addressed table of addresses (a
// block that left it leaves a tombstone). Nothing here allocates.
std::atomic<std::uintptr_t> apart_begin{0};
std::atomic<std::uintptr_t> apart_end{0};
constexpr std::size_t kSlots = 1 << 16;
constexpr std::uintptr_t kTombstone = 1;
std::array<std::atomic<std::uintptr_t>, kSlots> apart_table{};
std::atomic<std::size_t> apart_bytes{0};
std::atomic<std::size_t> apart_count{0};

std::size_t slot_of(std::uintptr_t block) { return (block >> 4) * 0x9E3779B97F4A7C15ull >> 48; }

void grew(std::size_t bytes) {
    const auto now = in_use.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    auto seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void remember_apart(void* memory, std::size_t bytes) {
    const auto block = reinterpret_cast<std::uintptr_t>(memory);
    for (std::size_t probe = 0, at = slot_of(block); probe < kSlots;
         ++probe, at = (at + 1) % kSlots) {
        auto seen = apart_table[at].load();
        if ((seen == 0 || seen == kTombstone) &&
            apart_table[at].compare_exchange_strong(seen, block)) {
            apart_bytes += bytes;
            ++apart_count;
            return;
        }
    }
}

void forget_apart(void* memory, std::size_t bytes) {
    if (apart_count.load() == 0) return;
    const auto block = reinterpret_cast<std::uintptr_t>(memory);
    for (std::size_t probe = 0, at = slot_of(block); probe < kSlots;
         ++probe, at = (at + 1) % kSlots) {
        auto seen = apart_table[at].load();
        if (seen == 0) return;
        if (seen == block && apart_table[at].compare_exchange_strong(seen, kTombstone)) {
            apart_bytes -= bytes;
            --apart_count;
            return;
        }
    }
}

void* counted(void* memory, const void* caller) {
    if (!memory) return memory;
    const auto bytes = malloc_usable_size(memory);
    grew(bytes);
    const auto from = reinterpret_cast<std::uintptr_t>(caller);
    if (from >= apart_begin.load() && from < apart_end.load()) remember_apart(memory, bytes);
    return memory;
}

void released(void* memory) {
    const auto bytes = malloc_usable_size(memory);
    in_use.fetch_sub(bytes, std::memory_order_relaxed);
    forget_apart(memory, bytes);
}

}  // namespace

std::size_t heap_in_use() { return in_use.load(); }
std::size_t heap_peak() { return peak.load(); }
void reset_heap_peak() { peak.store(in_use.load()); }
std::size_t apart_in_use() { return apart_bytes.load(); }
std::size_t apart_blocks() { return apart_count.load(); }

void count_apart(const void* inside) {
    struct Search {
        std::uintptr_t address;
        std::uintptr_t begin = 0;
        std::uintptr_t end = 0;
    } search{reinterpret_cast<std::uintptr_t>(inside)};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* wanted = static_cast<Search*>(data);
            for (int at = 0; at < info->dlpi_phnum; ++at) {
                const auto& header = info->dlpi_phdr[at];
                if (header.p_type != PT_LOAD) continue;
                const auto begin = info->dlpi_addr + header.p_vaddr;
                if (wanted->address >= begin && wanted->address < begin + header.p_memsz) {
                    // The whole object: from its first loaded segment to the end of its last.
                    std::uintptr_t low = UINTPTR_MAX;
                    std::uintptr_t high = 0;
                    for (int segment = 0; segment < info->dlpi_phnum; ++segment) {
                        const auto& each = info->dlpi_phdr[segment];
                        if (each.p_type != PT_LOAD) continue;
                        low = std::min<std::uintptr_t>(low, info->dlpi_addr + each.p_vaddr);
                        high = std::max<std::uintptr_t>(
                            high, info->dlpi_addr + each.p_vaddr + each.p_memsz);
                    }
                    wanted->begin = low;
                    wanted->end = high;
                    return 1;
                }
            }
            return 0;
        },
        &search);
    apart_begin = search.begin;
    apart_end = search.end;
}

}  // namespace sane_bench

extern "C" {

void* malloc(std::size_t size) {
    return sane_bench::counted(__libc_malloc(size), __builtin_return_address(0));
}

void* calloc(std::size_t count, std::size_t size) {
    return sane_bench::counted(__libc_calloc(count, size), __builtin_return_address(0));
}

void free(void* memory) {
    if (!memory) return;
    sane_bench::released(memory);
    __libc_free(memory);
}

void* realloc(void* memory, std::size_t size) {
    if (memory) sane_bench::released(memory);
    void* moved = __libc_realloc(memory, size);
    if (moved) {
        sane_bench::counted(moved, __builtin_return_address(0));
    } else if (memory && size != 0) {
        sane_bench::counted(memory, __builtin_return_address(0));  // the old block stays
    }
    return moved;
}

void* memalign(std::size_t alignment, std::size_t size) {
    return sane_bench::counted(__libc_memalign(alignment, size), __builtin_return_address(0));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return sane_bench::counted(__libc_memalign(alignment, size), __builtin_return_address(0));
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* memory =
        sane_bench::counted(__libc_memalign(alignment, size), __builtin_return_address(0));
    if (!memory) return ENOMEM;
    *out = memory;
    return 0;
}

}  // extern "C"
