#include "sane_backend/settings/device_setup.hpp"

#include <sane/saneopts.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "twain/backend/info_dictionary_keys.hpp"

namespace sane_backend {

namespace {

namespace keys = twain::info_dictionary_keys;
using platform::plist::Type;
using platform::plist::Value;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// A number stored as an integer, a real or a string such as "150".
std::optional<double> number_of(const Value& value) {
    if (!value) return std::nullopt;
    if (const auto* text = value.as_string()) {
        char* end = nullptr;
        const double number = std::strtod(text->c_str(), &end);
        if (end == text->c_str()) return std::nullopt;
        return number;
    }
    if (value.is(Type::Integer) || value.is(Type::Real)) return value.to_double();
    return std::nullopt;
}

std::vector<int> depths_among(const NumericConstraint& depths, std::initializer_list<int> wanted) {
    std::vector<int> found;
    for (const int depth : wanted) {
        if (depths.allows(depth)) found.push_back(depth);
    }
    return found;
}

void read_modes(const SaneDevice& device, DeviceOffer& offer) {
    for (const auto& mode : device.string_list(SANE_NAME_SCAN_MODE)) {
        const auto name = lower(mode);
        if (offer.lineart_mode.empty() &&
            (contains(name, "lineart") || contains(name, "binary") || name == "bw" || contains(name, "black"))) {
            offer.lineart_mode = mode;
        } else if (offer.gray_mode.empty() && (contains(name, "gray") || contains(name, "grey"))) {
            offer.gray_mode = mode;
        } else if (offer.color_mode.empty() && (contains(name, "color") || contains(name, "colour"))) {
            offer.color_mode = mode;
        }
    }
    offer.has_depth = device.has(SANE_NAME_BIT_DEPTH);
    const auto depths = offer.has_depth ? device.number_constraint(SANE_NAME_BIT_DEPTH) : NumericConstraint::list({8});
    offer.gray_depths = depths_among(depths, {8, 16});
    offer.color_depths = depths_among(depths, {8, 16});
    if (!offer.has_depth) offer.gray_depths = offer.color_depths = {8};
    offer.lineart_through_gray = offer.lineart_mode.empty() && !offer.gray_mode.empty() && depths.allows(1);
}

NumericConstraint offered_resolutions(const NumericConstraint& device, const Value& dictionary) {
    const auto listed = dictionary.get(keys::dKeySupportedRes);
    std::vector<double> allowed;
    for (const auto& item : listed.items()) {
        const auto value = number_of(item);
        if (value && *value > 0 && device.allows(*value)) allowed.push_back(*value);
    }
    return allowed.empty() ? device : NumericConstraint::list(std::move(allowed));
}

void read_resolutions(const SaneDevice& device, const Value& dictionary, DeviceOffer& offer) {
    if (device.has(SANE_NAME_SCAN_RESOLUTION)) {
        offer.x_resolution_option = SANE_NAME_SCAN_RESOLUTION;
    } else if (device.has(SANE_NAME_SCAN_X_RESOLUTION)) {
        offer.x_resolution_option = SANE_NAME_SCAN_X_RESOLUTION;
        if (device.has(SANE_NAME_SCAN_Y_RESOLUTION)) offer.y_resolution_option = SANE_NAME_SCAN_Y_RESOLUTION;
    }
    if (offer.x_resolution_option.empty()) {
        // A device with one fixed resolution: the scanner bundle's, or 300.
        const double fixed = number_of(dictionary.get(keys::dKeyResolution)).value_or(300);
        offer.x_resolution = offer.y_resolution = NumericConstraint::list({fixed});
        return;
    }
    offer.x_resolution = offered_resolutions(device.number_constraint(offer.x_resolution_option), dictionary);
    offer.y_resolution = offer.y_resolution_option.empty()
                             ? offer.x_resolution
                             : offered_resolutions(device.number_constraint(offer.y_resolution_option), dictionary);
}

void read_area(const SaneDevice& device, const Value& dictionary, DeviceOffer& offer) {
    const char* corners[] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y};
    offer.geometry = std::all_of(std::begin(corners), std::end(corners), [&](const char* option) {
        return device.has(option) && device.unit(option) == SANE_UNIT_MM &&
               device.number_constraint(option).kind() == NumericConstraint::Kind::Range;
    });
    if (offer.geometry) {
        offer.origin_x = device.number_constraint(SANE_NAME_SCAN_TL_X).lowest();
        offer.origin_y = device.number_constraint(SANE_NAME_SCAN_TL_Y).lowest();
        offer.width = device.number_constraint(SANE_NAME_SCAN_BR_X).highest() - offer.origin_x;
        offer.height = device.number_constraint(SANE_NAME_SCAN_BR_Y).highest() - offer.origin_y;
        offer.step_x = device.number_constraint(SANE_NAME_SCAN_BR_X).step();
        offer.step_y = device.number_constraint(SANE_NAME_SCAN_BR_Y).step();
        return;
    }
    // No area to choose: the flatbed's size from the scanner bundle (inches), or A4.
    const double width = dictionary.get(keys::dKeyScannerWidth).to_double().value_or(-1);
    const double height = dictionary.get(keys::dKeyScannerHeight).to_double().value_or(-1);
    offer.width = width > 0 ? width * 25.4 : 210.0;
    offer.height = height > 0 ? height * 25.4 : 297.0;
}

void read_sources(const SaneDevice& device, DeviceOffer& offer) {
    for (const auto& source : device.string_list(SANE_NAME_SCAN_SOURCE)) {
        const auto name = lower(source);
        const bool feeder = contains(name, "adf") || contains(name, "feeder") || contains(name, "document");
        if (feeder && !contains(name, "duplex") && !contains(name, "back")) {
            if (offer.feeder_source.empty()) offer.feeder_source = source;
        } else if (!feeder && offer.flatbed_source.empty()) {
            offer.flatbed_source = source;
        }
    }
}

std::optional<PixelType> type_of_depth(const DeviceOffer& offer, int depth) {
    for (const auto type : offer.pixel_types()) {
        const auto depths = offer.bit_depths(type);
        if (std::find(depths.begin(), depths.end(), depth) != depths.end()) return type;
    }
    return std::nullopt;
}

double default_resolution(const NumericConstraint& offered, std::optional<double> current, const Value& dictionary) {
    for (const auto* key : {&keys::dKeyDefaultResolution, &keys::dKeyResolution}) {
        const auto wanted = number_of(dictionary.get(*key));
        if (wanted && offered.allows(*wanted)) return *wanted;
    }
    return offered.nearest(current.value_or(300)).value_or(300);
}

}  // namespace

DeviceOffer read_offer(const SaneDevice& device, const Value& dictionary) {
    DeviceOffer offer;
    read_modes(device, offer);
    read_resolutions(device, dictionary, offer);
    read_area(device, dictionary, offer);
    read_sources(device, offer);
    return offer;
}

ScanSettings default_settings(const DeviceOffer& offer, const SaneDevice& device, const Value& dictionary) {
    ScanSettings settings;
    const auto types = offer.pixel_types();
    const auto colour_depth = dictionary.get(keys::dKeyColorDepth).to_int32();
    if (const auto named = colour_depth ? type_of_depth(offer, *colour_depth) : std::nullopt) {
        settings.pixel_type = *named;
        settings.bit_depth = *colour_depth;
    } else {
        const auto mode = device.string(SANE_NAME_SCAN_MODE).value_or("");
        const int depth = static_cast<int>(device.number(SANE_NAME_BIT_DEPTH).value_or(8));
        PixelType type = PixelType::Gray;
        if (mode == offer.lineart_mode || (mode == offer.gray_mode && depth == 1)) {
            type = PixelType::BlackWhite;
        } else if (mode == offer.color_mode) {
            type = PixelType::Rgb;
        }
        if (!types.empty() && std::find(types.begin(), types.end(), type) == types.end()) type = types.front();
        settings.pixel_type = type;
        const int bits = type == PixelType::Rgb ? 3 * depth : type == PixelType::Gray ? depth : 1;
        const auto depths = offer.bit_depths(type);
        settings.bit_depth =
            std::find(depths.begin(), depths.end(), bits) != depths.end() ? bits : default_bit_depth(offer, type);
    }
    const auto x_current = offer.x_resolution_option.empty() ? std::nullopt : device.number(offer.x_resolution_option);
    const auto y_current = offer.y_resolution_option.empty() ? x_current : device.number(offer.y_resolution_option);
    settings.x_resolution = default_resolution(offer.x_resolution, x_current, dictionary);
    settings.y_resolution = offer.resolutions_tied() ? settings.x_resolution
                                                     : default_resolution(offer.y_resolution, y_current, dictionary);
    settings.frame = {0, 0, offer.width, offer.height};
    settings.feeder_enabled =
        offer.has_feeder() && device.string(SANE_NAME_SCAN_SOURCE).value_or("") == offer.feeder_source;
    return settings;
}

SANE_Status apply_settings(SaneDevice& device, const DeviceOffer& offer, const ScanSettings& settings) {
    auto set_string = [&](const char* option, const std::string& value) {
        if (value.empty() || !device.settable(option) || device.string(option) == value) return SANE_STATUS_GOOD;
        return device.set_string(option, value);
    };
    auto set_number = [&](const std::string& option, double value) {
        if (option.empty() || !device.settable(option)) return SANE_STATUS_GOOD;
        return device.set_number(option, value).status;
    };

    SANE_Status status =
        set_string(SANE_NAME_SCAN_SOURCE, settings.feeder_enabled ? offer.feeder_source : offer.flatbed_source);
    if (status != SANE_STATUS_GOOD) return status;
    const bool lineart = settings.pixel_type == PixelType::BlackWhite;
    const std::string& mode = lineart ? (offer.lineart_mode.empty() ? offer.gray_mode : offer.lineart_mode)
                              : settings.pixel_type == PixelType::Gray ? offer.gray_mode
                                                                       : offer.color_mode;
    if ((status = set_string(SANE_NAME_SCAN_MODE, mode)) != SANE_STATUS_GOOD) return status;
    if (offer.has_depth) {
        const int depth = settings.pixel_type == PixelType::Rgb ? settings.bit_depth / 3 : settings.bit_depth;
        if (!lineart || offer.lineart_through_gray || device.number_constraint(SANE_NAME_BIT_DEPTH).allows(1)) {
            if ((status = set_number(SANE_NAME_BIT_DEPTH, depth)) != SANE_STATUS_GOOD) return status;
        }
    }
    if ((status = set_number(offer.x_resolution_option, settings.x_resolution)) != SANE_STATUS_GOOD) return status;
    if ((status = set_number(offer.y_resolution_option, settings.y_resolution)) != SANE_STATUS_GOOD) return status;
    if (offer.geometry) {
        const std::pair<const char*, double> corners[] = {
            {SANE_NAME_SCAN_TL_X, offer.origin_x + settings.frame.left},
            {SANE_NAME_SCAN_TL_Y, offer.origin_y + settings.frame.top},
            {SANE_NAME_SCAN_BR_X, offer.origin_x + settings.frame.right},
            {SANE_NAME_SCAN_BR_Y, offer.origin_y + settings.frame.bottom}};
        for (const auto& [option, value] : corners) {
            const auto allowed = device.number_constraint(option).nearest(value).value_or(value);
            if ((status = set_number(option, allowed)) != SANE_STATUS_GOOD) return status;
        }
    }
    return SANE_STATUS_GOOD;
}

}  // namespace sane_backend
