#pragma once
// ICAP_SUPPORTEDSIZES: the standard paper sizes, portrait, in millimetres. A size is offered when
// it fits the scan area; choosing one sets the frame to that size at the top left corner.

#include <optional>
#include <vector>

#include "sane_backend/protocol/twain_codes.hpp"

namespace sane_backend {

struct PaperSize {
    twain::TW_UINT16 code;  // TWSS_...
    double width;
    double height;
};

const std::vector<PaperSize>& paper_sizes();
std::optional<PaperSize> paper_size(twain::TW_UINT16 code);

}  // namespace sane_backend
