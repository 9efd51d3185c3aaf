#pragma once
// VelSampleBackend: a sample of the backend data source bundle that twain-source loads from
// "/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle". It is built only from the
// installed interface (twain/backend, twain/protocol, platform/plist) as a backend of another
// project would be. It scans nothing: it answers the identity and status triplets as a data
// source does, refuses every other triplet with TWCC_BADPROTOCOL, and records what it was given
// (backend_record.hpp).

#include "platform/plist/value.hpp"
#include "twain/backend/data_source_backend.hpp"

namespace sample_backend {

class SampleBackend final : public twain::DataSourceBackend {
public:
    bool initWithIdentity(twain::TW_IDENTITY identity,
                          const platform::plist::Value& dictionary) noexcept override;
    twain::TW_UINT32 sendTripletWithSource(twain::pTW_IDENTITY origin, twain::TW_UINT32 dataGroup,
                                           twain::TW_UINT32 data, twain::TW_UINT32 message,
                                           twain::TW_MEMREF dataPtr) noexcept override;

private:
    twain::TW_UINT16 identityTriplet(twain::TW_UINT32 message, twain::TW_MEMREF dataPtr);
    twain::TW_UINT16 statusTriplet(twain::TW_UINT32 message, twain::TW_MEMREF dataPtr);
    twain::TW_UINT16 fail(twain::TW_UINT16 conditionCode);

    twain::TW_IDENTITY identity_{};
    platform::plist::Value dictionary_;
    twain::TW_UINT16 conditionCode_ = 0;
};

}  // namespace sample_backend
