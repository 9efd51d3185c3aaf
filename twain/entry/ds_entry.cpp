// DS_Entry: the one way into the data source. The data source has no scanning logic of its own;
// it creates the backend once and hands it every triplet.

#include "platform/folders/folders.hpp"
#include "twain/entry/data_source_entry.hpp"
#include "twain/protocol/twain_constants.hpp"
#include "twain/utility/tds_utility.hpp"

namespace {

constexpr std::string_view kScannerBundlePath =
    "/Library/Application Support/Velmora/Q580n Scanner.bundle";
constexpr std::string_view kDriverPath =
    "/Library/Application Support/Velmora/Q580n Scanner.bundle/Contents/SharedSupport/"
    "Q580nScannerLib.bundle";

// One attempt at creating the backend; the info dictionary lives only as long as the attempt,
// and a backend that wants it keeps its own reference.
twain::DataSourceBackend* createBackend() {
    using platform::folders::system_path;
    using twain::TDSUtility;
    const auto dictionary = TDSUtility::getInfoDictWithBundlePath(system_path(kScannerBundlePath),
                                                                  system_path(kDriverPath));
    // The one owned pointer of the design: the backend lives until the process ends.
    return TDSUtility::loadDSBackend(system_path(TDSUtility::returnDSBackendPath()), getIdentity(),
                                     dictionary)
        .release();
}

}  // namespace

twain::DataSourceBackend* gDataSource = nullptr;

twain::TW_UINT16 DS_Entry(twain::pTW_IDENTITY pOrigin, twain::TW_UINT32 DG, twain::TW_UINT16 DAT,
                          twain::TW_UINT16 MSG, twain::TW_MEMREF pData) noexcept {
    if (!gDataSource) {
        gDataSource = createBackend();
        // Nothing answered the triplet, so the host must not take it as done.
        if (!gDataSource) return twain::TWRC_FAILURE;
    }
    const twain::TW_UINT32 code = gDataSource->sendTripletWithSource(pOrigin, DG, DAT, MSG, pData);
    return static_cast<twain::TW_UINT16>(code & 0xFFFFu);
}
