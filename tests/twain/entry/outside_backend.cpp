// A backend as another project writes one, from the installed headers alone. The installation
// test compiles and links it against the staged installation; it is not part of the build.

#include "platform/plist/value.hpp"
#include "twain/backend/data_source_backend.hpp"
#include "twain/backend/info_dictionary_keys.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace {

class OutsideBackend final : public twain::DataSourceBackend {
public:
    bool initWithIdentity(twain::TW_IDENTITY identity,
                          const platform::plist::Value& dictionary) noexcept override {
        identity_ = identity;
        const auto* driver =
            dictionary.get(twain::info_dictionary_keys::dKeyDriverURL).as_file_url();
        return driver != nullptr;
    }

    twain::TW_UINT32 sendTripletWithSource(twain::pTW_IDENTITY, twain::TW_UINT32 dataGroup,
                                           twain::TW_UINT32 data, twain::TW_UINT32 message,
                                           twain::TW_MEMREF dataPtr) noexcept override {
        if (dataGroup == twain::DG_CONTROL && data == twain::DAT_IDENTITY &&
            message == twain::MSG_GET && dataPtr) {
            *static_cast<twain::pTW_IDENTITY>(dataPtr) = identity_;
            return twain::TWRC_SUCCESS;
        }
        return twain::TWRC_FAILURE;
    }

private:
    twain::TW_IDENTITY identity_{};
};

}  // namespace

extern "C" VELMORA_TWAIN_EXPORT const twain::DataSourceBackendClass VelOutsideBackend =
    twain::principalClass<OutsideBackend>();
