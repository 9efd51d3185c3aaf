#include "sane_backend/source/dsm_link.hpp"

#include <cstdlib>

namespace sane_backend {

using namespace twain;

bool DsmLink::set(const TW_ENTRYPOINT& entry) {
    if (entry.Size < sizeof(TW_ENTRYPOINT) || !entry.DSM_Entry || !entry.DSM_MemAllocate || !entry.DSM_MemFree ||
        !entry.DSM_MemLock || !entry.DSM_MemUnlock) {
        return false;
    }
    entry_ = entry;
    return true;
}

TW_HANDLE DsmLink::allocate(TW_UINT32 size) const {
    if (entry_.DSM_MemAllocate) return entry_.DSM_MemAllocate(size);
    return std::malloc(size);
}

void DsmLink::free(TW_HANDLE handle) const {
    if (!handle) return;
    if (entry_.DSM_MemFree) {
        entry_.DSM_MemFree(handle);
    } else {
        std::free(handle);
    }
}

void* DsmLink::lock(TW_HANDLE handle) const {
    if (!handle) return nullptr;
    return entry_.DSM_MemLock ? entry_.DSM_MemLock(handle) : handle;
}

void DsmLink::unlock(TW_HANDLE handle) const {
    if (handle && entry_.DSM_MemUnlock) entry_.DSM_MemUnlock(handle);
}

TW_UINT16 DsmLink::send(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 group, TW_UINT16 data,
                        TW_UINT16 message, TW_MEMREF pointer) const {
    if (!entry_.DSM_Entry) return TWRC_FAILURE;
    return entry_.DSM_Entry(origin, destination, group, data, message, pointer);
}

}  // namespace sane_backend
