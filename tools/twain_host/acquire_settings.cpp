#include "tools/twain_host/acquire_settings.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "sane_backend/protocol/twain_codes.hpp"

namespace twain_host {

namespace {

// The whole text as a finite number; from_chars reads no sign "+" and no blanks, so neither is
// taken.
std::optional<double> number(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<long> integer(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> parse_resolution(std::string_view text) {
    const auto value = number(text);
    // A TW_FIX32 holds at most 32767.
    if (!value || *value <= 0 || *value > 32767) return std::nullopt;
    return value;
}

std::optional<std::uint16_t> parse_pixel_type(std::string_view text) {
    if (text == "bw") return twain::TWPT_BW;
    if (text == "gray") return twain::TWPT_GRAY;
    if (text == "rgb") return twain::TWPT_RGB;
    return std::nullopt;
}

std::optional<std::uint16_t> parse_bit_depth(std::string_view text) {
    const auto value = integer(text);
    if (!value || *value < 1 || *value > 64) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::optional<Mechanism> parse_mechanism(std::string_view text) {
    if (text == "native") return Mechanism::Native;
    if (text == "memory") return Mechanism::Memory;
    if (text == "file") return Mechanism::File;
    return std::nullopt;
}

std::optional<std::uint16_t> parse_file_format(std::string_view text) {
    if (text == "tiff") return twain::TWFF_TIFF;
    if (text == "bmp") return twain::TWFF_BMP;
    if (text == "png") return twain::TWFF_PNG;
    return std::nullopt;
}

std::optional<Area> parse_area(std::string_view text) {
    std::array<double, 4> edges{};
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const auto comma = text.find(',');
        if ((comma == std::string_view::npos) != (i == edges.size() - 1)) return std::nullopt;
        const auto value = number(text.substr(0, comma));
        if (!value || *value < 0 || *value > 32767) return std::nullopt;
        edges[i] = *value;
        if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
    }
    const Area area{edges[0], edges[1], edges[2], edges[3]};
    if (area.right <= area.left || area.bottom <= area.top) return std::nullopt;
    return area;
}

std::optional<int> parse_count(std::string_view text) {
    const auto value = integer(text);
    if (!value || (*value != -1 && (*value < 1 || *value > 32767))) return std::nullopt;
    return static_cast<int>(*value);
}

std::string_view pixel_type_name(int pixel_type) {
    switch (pixel_type) {
        case twain::TWPT_BW: return "bw";
        case twain::TWPT_GRAY: return "gray";
        case twain::TWPT_RGB: return "rgb";
        default: return "other";
    }
}

std::string_view mechanism_name(Mechanism mechanism) {
    switch (mechanism) {
        case Mechanism::Native: return "native";
        case Mechanism::Memory: return "memory";
        case Mechanism::File: return "file";
    }
    return "";
}

}  // namespace twain_host
