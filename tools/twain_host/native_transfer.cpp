#include <cstring>
#include <fstream>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/memory_ledger.hpp"
#include "tools/twain_host/transfers.hpp"

namespace twain_host {

namespace {

using namespace twain;

constexpr const char* kStep = "DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET";

// After TWRC_XFERDONE: the source is done, the host is not.
TransferOutcome failed(std::string why) {
    return {TWRC_XFERDONE, StepFailure{std::string(kStep) + ": " + why, TWRC_FAILURE, std::nullopt},
            std::nullopt, true};
}

}  // namespace

TransferOutcome native_transfer(ApplicationLink& link, const std::filesystem::path& file) {
    TW_HANDLE handle = nullptr;
    const TW_UINT16 code = link.to_source(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    if (code == TWRC_CANCEL) {
        if (handle) link.free(handle);
        return {code, std::nullopt, std::nullopt, true};
    }
    if (code != TWRC_XFERDONE) return {code, link.source_failure(kStep, code), std::nullopt};

    // On Linux a handle does not say how long it is; the Source Manager that allocated it knows.
    const auto size = process_memory().block_size(handle);
    if (!size)
        return failed(
            "the image handle was not allocated with the Source Manager's memory functions");
    const auto* bytes = static_cast<const char*>(link.lock(handle));
    const bool tiff =
        *size >= 8 && (std::memcmp(bytes, "II*\0", 4) == 0 || std::memcmp(bytes, "MM\0*", 4) == 0);
    bool written = false;
    if (tiff) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes, static_cast<std::streamsize>(*size));
        written = static_cast<bool>(out.flush());
    }
    link.unlock(handle);
    link.free(handle);
    if (!tiff) return failed("the image handed over is no TIFF");
    if (!written) return failed("cannot write " + file.string());
    return {code, std::nullopt, std::nullopt, true};
}

}  // namespace twain_host
