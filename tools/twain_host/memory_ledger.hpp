#pragma once
// The Source Manager's memory functions, as it hands them to data sources and applications
// (DAT_ENTRYPOINT): blocks from calloc whose handle is the block's own address, so that locking
// answers the handle itself, as the Linux Source Manager does. Every block is kept in a ledger, so
// that the host can say which blocks nobody freed, and a free, lock or unlock of a pointer that
// is no live block is refused (and counted) instead of handed to free().

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>

#include "sane_backend/protocol/twain_records.hpp"

namespace twain_host {

struct MemoryAccount {
    std::size_t allocations = 0;
    std::size_t allocated_bytes = 0;
    std::size_t frees = 0;
    std::size_t live_blocks = 0;
    std::size_t live_bytes = 0;
    std::size_t refused_frees = 0;  // pointers that were no live block
    std::size_t refused_locks = 0;  // locks and unlocks of pointers that were no live block
};

class MemoryLedger {
public:
    // Null for a size of 0 or when no memory is left.
    twain::TW_HANDLE allocate(twain::TW_UINT32 size);
    void free(twain::TW_HANDLE handle);
    twain::TW_MEMREF lock(twain::TW_HANDLE handle);
    void unlock(twain::TW_HANDLE handle);

    // The size of a live block; empty for anything else.
    std::optional<std::size_t> block_size(twain::TW_HANDLE handle) const;
    MemoryAccount account() const;

private:
    struct Block {
        std::size_t size = 0;
        std::size_t locks = 0;
    };
    mutable std::mutex mutex_;  // sources may call from threads of their own
    std::map<const void*, Block> blocks_;
    MemoryAccount account_;
};

// The ledger behind the functions handed out with DAT_ENTRYPOINT; it lives as long as the process.
MemoryLedger& process_memory();

// The four functions over process_memory(), in the form DAT_ENTRYPOINT carries them.
twain::TW_HANDLE memory_allocate(twain::TW_UINT32 size);
void memory_free(twain::TW_HANDLE handle);
twain::TW_MEMREF memory_lock(twain::TW_HANDLE handle);
void memory_unlock(twain::TW_HANDLE handle);

}  // namespace twain_host
