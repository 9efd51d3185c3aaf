#include "sane_backend/source/paper_sizes.hpp"

namespace sane_backend {

using namespace twain;

const std::vector<PaperSize>& paper_sizes() {
    static const std::vector<PaperSize> sizes = {
        {TWSS_A3, 297, 420},
        {TWSS_A4, 210, 297},
        {TWSS_A5, 148, 210},
        {TWSS_A6, 105, 148},
        {TWSS_A7, 74, 105},
        {TWSS_ISOB4, 250, 353},
        {TWSS_ISOB5, 176, 250},
        {TWSS_ISOB6, 125, 176},
        {TWSS_JISB4, 257, 364},
        {TWSS_JISB5, 182, 257},
        {TWSS_JISB6, 128, 182},
        {TWSS_C4, 229, 324},
        {TWSS_C5, 162, 229},
        {TWSS_C6, 114, 162},
        {TWSS_USLETTER, 215.9, 279.4},
        {TWSS_USLEGAL, 215.9, 355.6},
        {TWSS_USLEDGER, 279.4, 431.8},
        {TWSS_USEXECUTIVE, 184.15, 266.7},
        {TWSS_USSTATEMENT, 139.7, 215.9},
        {TWSS_BUSINESSCARD, 88.9, 50.8},
    };
    return sizes;
}

std::optional<PaperSize> paper_size(TW_UINT16 code) {
    for (const auto& size : paper_sizes()) {
        if (size.code == code) return size;
    }
    return std::nullopt;
}

}  // namespace sane_backend
