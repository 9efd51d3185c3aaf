#include "tools/twain_host/memory_ledger.hpp"

#include <cstdlib>

namespace twain_host {

twain::TW_HANDLE MemoryLedger::allocate(twain::TW_UINT32 size) {
    if (size == 0) return nullptr;
    void* block = std::calloc(size, 1);
    if (!block) return nullptr;
    const std::lock_guard lock(mutex_);
    blocks_[block] = Block{size, 0};
    ++account_.allocations;
    account_.allocated_bytes += size;
    ++account_.live_blocks;
    account_.live_bytes += size;
    return block;
}

void MemoryLedger::free(twain::TW_HANDLE handle) {
    {
        const std::lock_guard lock(mutex_);
        const auto found = blocks_.find(handle);
        if (found == blocks_.end()) {
            // Never ours, or freed already: handing it to free() would corrupt the heap.
            if (handle) ++account_.refused_frees;
            return;
        }
        ++account_.frees;
        --account_.live_blocks;
        account_.live_bytes -= found->second.size;
        blocks_.erase(found);
    }
    std::free(handle);
}

twain::TW_MEMREF MemoryLedger::lock(twain::TW_HANDLE handle) {
    const std::lock_guard lock(mutex_);
    const auto found = blocks_.find(handle);
    if (found == blocks_.end()) {
        ++account_.refused_locks;
        return nullptr;
    }
    ++found->second.locks;
    return handle;
}

void MemoryLedger::unlock(twain::TW_HANDLE handle) {
    const std::lock_guard lock(mutex_);
    const auto found = blocks_.find(handle);
    if (found == blocks_.end()) {
        ++account_.refused_locks;
        return;
    }
    if (found->second.locks > 0) --found->second.locks;
}

std::optional<std::size_t> MemoryLedger::block_size(twain::TW_HANDLE handle) const {
    const std::lock_guard lock(mutex_);
    const auto found = blocks_.find(handle);
    if (found == blocks_.end()) return std::nullopt;
    return found->second.size;
}

MemoryAccount MemoryLedger::account() const {
    const std::lock_guard lock(mutex_);
    return account_;
}

MemoryLedger& process_memory() {
    static MemoryLedger ledger;
    return ledger;
}

twain::TW_HANDLE memory_allocate(twain::TW_UINT32 size) { return process_memory().allocate(size); }
void memory_free(twain::TW_HANDLE handle) { process_memory().free(handle); }
twain::TW_MEMREF memory_lock(twain::TW_HANDLE handle) { return process_memory().lock(handle); }
void memory_unlock(twain::TW_HANDLE handle) { process_memory().unlock(handle); }

}  // namespace twain_host
