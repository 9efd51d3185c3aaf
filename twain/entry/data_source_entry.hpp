#pragma once
// The three names twain-source exports, with C linkage, for the TWAIN Source Manager and hosts.
// They are the only dynamic symbols of the data source (velmora-q580n.ds).

#include "twain/backend/data_source_backend.hpp"
#include "twain/protocol/twain_types.hpp"

extern "C" {

// The backend, created by the first DS_Entry call that manages to create one; null until then.
// Never cleared, replaced or destroyed: it lives until the host process ends.
VELMORA_TWAIN_EXPORT extern twain::DataSourceBackend* gDataSource;

// The data source's entry point. Creates the backend while there is none (building the backend
// info dictionary from the scanner bundle each time), then hands the triplet to it unchanged and
// returns the low 16 bits of its result. While no backend can be created, nothing is forwarded,
// pData is left untouched and the result is TWRC_FAILURE.
VELMORA_TWAIN_EXPORT twain::TW_UINT16 DS_Entry(twain::pTW_IDENTITY pOrigin, twain::TW_UINT32 DG,
                                               twain::TW_UINT16 DAT, twain::TW_UINT16 MSG,
                                               twain::TW_MEMREF pData) noexcept;

// The data source's identity: the same record on every call, with no side effect.
VELMORA_TWAIN_EXPORT twain::TW_IDENTITY getIdentity() noexcept;
}
