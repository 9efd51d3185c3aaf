#include <algorithm>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/strip_assembler.hpp"
#include "tools/twain_host/tiff_writer.hpp"
#include "tools/twain_host/transfers.hpp"

namespace twain_host {

namespace {

using namespace twain;

constexpr const char* kStep = "DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET";
constexpr TW_UINT32 kFallbackBuffer = 64 * 1024;

TransferOutcome failed(const std::string& why) {
    return {TWRC_FAILURE, StepFailure{why, TWRC_FAILURE, std::nullopt}, std::nullopt};
}

// The source's preferred size, else the largest it takes up to the fallback, at least its minimum.
TW_UINT32 buffer_size(const TW_SETUPMEMXFER& setup) {
    // Copied out of the packed record, whose members std::min and std::max cannot bind to.
    const TW_UINT32 preferred = setup.Preferred;
    const TW_UINT32 largest = setup.MaxBufSize;
    const TW_UINT32 smallest = setup.MinBufSize;
    if (preferred != 0 && preferred != TWON_DONTCARE32) return preferred;
    TW_UINT32 size = kFallbackBuffer;
    if (largest != 0 && largest != TWON_DONTCARE32) size = std::min(size, largest);
    return std::max(size, smallest);
}

}  // namespace

TransferOutcome memory_transfer(ApplicationLink& link, const TW_IMAGEINFO& info, bool zero_is_white,
                                const std::filesystem::path& file) {
    if (info.ImageWidth <= 0 || info.BitsPerPixel <= 0 || info.Planar ||
        (info.SamplesPerPixel != 1 && info.SamplesPerPixel != 3) ||
        info.BitsPerPixel != info.SamplesPerPixel * info.BitsPerSample[0]) {
        return failed("DG_IMAGE/DAT_IMAGEINFO/MSG_GET: an image the host cannot assemble (" +
                      std::to_string(info.SamplesPerPixel) + " samples of " +
                      std::to_string(info.BitsPerSample[0]) + " bits, " +
                      std::to_string(info.BitsPerPixel) + " bits per pixel, planar " +
                      std::to_string(info.Planar) + ")");
    }
    TW_SETUPMEMXFER setup{};
    TW_UINT16 code = link.to_source(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (code != TWRC_SUCCESS)
        return {code, link.source_failure("DG_CONTROL/DAT_SETUPMEMXFER/MSG_GET", code),
                std::nullopt};

    const TW_UINT32 size = buffer_size(setup);
    const TW_HANDLE buffer = link.allocate(size);
    if (!buffer) return failed("no memory for a buffer of " + std::to_string(size) + " bytes");
    auto* memory = static_cast<std::uint8_t*>(link.lock(buffer));
    StripAssembler assembler(static_cast<std::uint32_t>(info.ImageWidth), info.ImageLength,
                             static_cast<std::uint32_t>(info.BitsPerPixel));
    TransferOutcome outcome;
    bool transferring = false;
    for (;;) {
        TW_IMAGEMEMXFER strip{};
        strip.Compression = TWON_DONTCARE16;
        strip.BytesPerRow = strip.Columns = strip.Rows = TWON_DONTCARE32;
        strip.XOffset = strip.YOffset = strip.BytesWritten = TWON_DONTCARE32;
        strip.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, size, memory};
        code = link.to_source(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        transferring =
            transferring || code == TWRC_SUCCESS || code == TWRC_XFERDONE || code == TWRC_CANCEL;
        if (code != TWRC_SUCCESS && code != TWRC_XFERDONE) {
            outcome = {code,
                       code == TWRC_CANCEL ? std::nullopt
                                           : std::optional(link.source_failure(kStep, code)),
                       std::nullopt};
            break;
        }
        if (strip.BytesWritten > size) {
            outcome = failed(std::string(kStep) + ": " + std::to_string(strip.BytesWritten) +
                             " bytes written into a buffer of " + std::to_string(size));
            break;
        }
        auto added = assembler.add(Strip{strip.Compression,
                                         strip.BytesPerRow,
                                         strip.Columns,
                                         strip.Rows,
                                         strip.XOffset,
                                         strip.YOffset,
                                         {memory, strip.BytesWritten}});
        if (!added) {
            outcome = failed(std::string(kStep) + ": " + added.error().message);
            break;
        }
        if (code == TWRC_XFERDONE) {
            outcome = {code, std::nullopt, assembler.rows()};
            break;
        }
    }
    link.unlock(buffer);
    link.free(buffer);
    outcome.transferring = transferring;
    if (outcome.failure || outcome.code != TWRC_XFERDONE) return outcome;

    const auto after_done = [](TransferOutcome failure) {
        failure.code = TWRC_XFERDONE;
        failure.transferring = true;
        return failure;
    };
    if (auto whole = assembler.finish(); !whole)
        return after_done(failed(std::string(kStep) + ": " + whole.error().message));
    RasterImage image;
    image.width = assembler.width();
    image.height = assembler.rows();
    image.samples_per_pixel = static_cast<std::uint16_t>(info.SamplesPerPixel);
    image.bits_per_sample = static_cast<std::uint16_t>(info.BitsPerSample[0]);
    image.zero_is_white = zero_is_white;
    image.x_resolution = from_fix32(info.XResolution);
    image.y_resolution = from_fix32(info.YResolution);
    image.pixels = assembler.pixels();
    if (auto written = write_tiff(file, image); !written)
        return after_done(failed("writing the image: " + written.error().message));
    return outcome;
}

}  // namespace twain_host
