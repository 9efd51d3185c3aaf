#include "sane_backend/settings/scan_settings.hpp"

#include <algorithm>

namespace sane_backend {

std::vector<PixelType> DeviceOffer::pixel_types() const {
    std::vector<PixelType> types;
    if (!lineart_mode.empty() || lineart_through_gray) types.push_back(PixelType::BlackWhite);
    if (!gray_mode.empty() && !gray_depths.empty()) types.push_back(PixelType::Gray);
    if (!color_mode.empty() && !color_depths.empty()) types.push_back(PixelType::Rgb);
    return types;
}

std::vector<int> DeviceOffer::bit_depths(PixelType type) const {
    switch (type) {
        case PixelType::BlackWhite: return {1};
        case PixelType::Gray: return gray_depths;
        case PixelType::Rgb: {
            std::vector<int> depths;
            for (const int depth : color_depths) depths.push_back(3 * depth);
            return depths;
        }
    }
    return {};
}

int default_bit_depth(const DeviceOffer& offer, PixelType type) {
    const auto depths = offer.bit_depths(type);
    const int preferred = type == PixelType::BlackWhite ? 1 : type == PixelType::Gray ? 8 : 24;
    if (std::find(depths.begin(), depths.end(), preferred) != depths.end() || depths.empty()) return preferred;
    return depths.front();
}

}  // namespace sane_backend
