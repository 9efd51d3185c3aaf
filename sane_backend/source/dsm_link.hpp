#pragma once
// The Source Manager as the data source sees it: the entry points it hands over with
// DG_CONTROL/DAT_ENTRYPOINT/MSG_SET before opening the source (only to a source whose identity
// carries DF_DS2). Memory the application frees (capability containers, native image handles)
// comes from the Source Manager's allocator; a host that never sent the entry points gets
// malloc'ed memory, whose handle is the pointer.

#include "sane_backend/protocol/twain_codes.hpp"

namespace sane_backend {

class DsmLink {
public:
    // Keeps the entry points; false (and nothing kept) when the record is short or incomplete.
    bool set(const twain::TW_ENTRYPOINT& entry);
    bool connected() const { return entry_.DSM_Entry != nullptr; }

    twain::TW_HANDLE allocate(twain::TW_UINT32 size) const;
    void free(twain::TW_HANDLE handle) const;
    void* lock(twain::TW_HANDLE handle) const;
    void unlock(twain::TW_HANDLE handle) const;

    // DSM_Entry from the data source (origin) to the application (destination); TWRC_FAILURE
    // when there is no Source Manager to call.
    twain::TW_UINT16 send(twain::pTW_IDENTITY origin, twain::pTW_IDENTITY destination, twain::TW_UINT32 group,
                          twain::TW_UINT16 data, twain::TW_UINT16 message, twain::TW_MEMREF pointer) const;

private:
    twain::TW_ENTRYPOINT entry_{};
};

}  // namespace sane_backend
