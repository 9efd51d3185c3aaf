#include "tools/twain_sample_backend/sample_backend.hpp"

#include <cstring>

#include "tools/twain_sample_backend/backend_record.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace sample_backend {

using namespace twain;

bool SampleBackend::initWithIdentity(twain::TW_IDENTITY identity,
                                     const platform::plist::Value& dictionary) noexcept {
    identity_ = identity;
    dictionary_ = dictionary;  // our own reference: the data source drops its one
    recordCreation(identity_, dictionary_);
    return true;
}

twain::TW_UINT32 SampleBackend::sendTripletWithSource(twain::pTW_IDENTITY,
                                                      twain::TW_UINT32 dataGroup,
                                                      twain::TW_UINT32 data,
                                                      twain::TW_UINT32 message,
                                                      twain::TW_MEMREF dataPtr) noexcept {
    if (dataGroup == DG_CONTROL && data == DAT_IDENTITY) return identityTriplet(message, dataPtr);
    if (dataGroup == DG_CONTROL && data == DAT_STATUS) return statusTriplet(message, dataPtr);
    return fail(TWCC_BADPROTOCOL);
}

twain::TW_UINT16 SampleBackend::identityTriplet(twain::TW_UINT32 message,
                                                twain::TW_MEMREF dataPtr) {
    if (message != MSG_GET && message != MSG_OPENDS && message != MSG_CLOSEDS) {
        return fail(TWCC_BADPROTOCOL);
    }
    if (!dataPtr) return fail(TWCC_BADVALUE);
    auto* identity = static_cast<twain::pTW_IDENTITY>(dataPtr);
    // Opening hands the data source its identity with the Id the Source Manager gave it.
    if (message == MSG_OPENDS) identity_.Id = identity->Id;
    if (message == MSG_GET) std::memcpy(identity, &identity_, sizeof identity_);
    return TWRC_SUCCESS;
}

twain::TW_UINT16 SampleBackend::statusTriplet(twain::TW_UINT32 message, twain::TW_MEMREF dataPtr) {
    if (message != MSG_GET) return fail(TWCC_BADPROTOCOL);
    if (!dataPtr) return fail(TWCC_BADVALUE);
    auto* status = static_cast<twain::pTW_STATUS>(dataPtr);
    status->ConditionCode = conditionCode_;
    status->Data = 0;
    // The code describes one failure; once the host has read it, it is cleared.
    conditionCode_ = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}

twain::TW_UINT16 SampleBackend::fail(twain::TW_UINT16 conditionCode) {
    conditionCode_ = conditionCode;
    return TWRC_FAILURE;
}

}  // namespace sample_backend

// The principal class named by the bundle's NSPrincipalClass.
extern "C" VELMORA_TWAIN_EXPORT const twain::DataSourceBackendClass VelSampleBackend =
    twain::principalClass<sample_backend::SampleBackend>();
