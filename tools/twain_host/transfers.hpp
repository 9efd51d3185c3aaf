#pragma once
// One image from the source to its file, by each transfer mechanism, in the state where the
// source has an image ready (state 6). The outcome says whether the source went on to state 7
// (TWRC_XFERDONE, TWRC_CANCEL, or a memory transfer's first strip), also when the host failed
// afterwards.
//
//   native  the source hands over a TIFF in a handle from the Source Manager's memory functions;
//           it is written as it is and freed
//   memory  strips into a buffer the host allocates; the host assembles them and writes a TIFF
//   file    the source writes the file the host names with DAT_SETUPFILEXFER

#include <cstdint>
#include <filesystem>
#include <optional>

#include "tools/twain_host/application_link.hpp"

namespace twain_host {

struct TransferOutcome {
    twain::TW_UINT16 code = 0;           // TWRC_XFERDONE, TWRC_CANCEL, or the failure's code
    std::optional<StepFailure> failure;  // set for a failure, also one after the source was done
    std::optional<std::uint32_t> lines;  // memory transfers: the lines that arrived
    bool transferring = false;           // the source went on to state 7
};

TransferOutcome native_transfer(ApplicationLink& link, const std::filesystem::path& file);
TransferOutcome memory_transfer(ApplicationLink& link, const twain::TW_IMAGEINFO& info,
                                bool zero_is_white, const std::filesystem::path& file);
TransferOutcome file_transfer(ApplicationLink& link, std::uint16_t format,
                              const std::filesystem::path& file);

}  // namespace twain_host
