#include "sane_backend/source/capabilities.hpp"

#include <algorithm>
#include <cmath>

#include "sane_backend/source/paper_sizes.hpp"
#include "sane_backend/source/units.hpp"

namespace sane_backend {

using namespace twain;

namespace {

constexpr double kSame = 1.0 / 131072.0;

std::vector<Item> integers(std::initializer_list<std::int64_t> values) { return {values.begin(), values.end()}; }

bool same(double a, double b) { return std::abs(a - b) < kSame * std::max(1.0, std::abs(a)); }

// A number on the device's grid for corners: steps from zero, within 0 .. limit.
double on_grid(double value, double step, double limit) {
    if (step > 0) value = std::round(value / step) * step;
    return std::clamp(value, 0.0, limit);
}

}  // namespace

struct Capabilities::View {
    enum class Kind { Enumeration, Range, One, Array };
    TW_UINT16 type = TWTY_UINT16;
    Kind kind = Kind::One;
    std::vector<Item> values;
    NumericConstraint range = NumericConstraint::any();
    Item current{std::int64_t{0}};
    Item default_value{std::int64_t{0}};
    bool settable = false;

    static View enumeration(TW_UINT16 type, std::vector<Item> values, Item current, Item default_value) {
        return {type, Kind::Enumeration, std::move(values), NumericConstraint::any(), current, default_value, true};
    }
    static View fixed(TW_UINT16 type, Item value) {
        return {type, Kind::Enumeration, {value}, NumericConstraint::any(), value, value, true};
    }
    static View one(TW_UINT16 type, Item current, Item default_value, bool settable) {
        return {type, Kind::One, {}, NumericConstraint::any(), current, default_value, settable};
    }
};

Capabilities::Capabilities(DeviceOffer offer, ScanSettings defaults)
    : offer_(std::move(offer)), defaults_(defaults), scan_(defaults) {}

std::vector<TW_UINT16> Capabilities::supported() const {
    std::vector<TW_UINT16> list = {CAP_XFERCOUNT,      CAP_SUPPORTEDCAPS,    CAP_UICONTROLLABLE, CAP_DEVICEONLINE,
                                   CAP_INDICATORS,     ICAP_COMPRESSION,     ICAP_PIXELTYPE,     ICAP_BITDEPTH,
                                   ICAP_BITORDER,      ICAP_UNITS,           ICAP_XRESOLUTION,   ICAP_YRESOLUTION,
                                   ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT,  ICAP_XFERMECH,      ICAP_PLANARCHUNKY,
                                   ICAP_PIXELFLAVOR,   ICAP_IMAGEFILEFORMAT, ICAP_FRAMES,        ICAP_SUPPORTEDSIZES};
    if (offer_.has_feeder()) {
        list.insert(list.end(), {CAP_FEEDERENABLED, CAP_FEEDERLOADED, CAP_AUTOFEED});
    }
    return list;
}

Frame Capabilities::to_units(const FrameMm& frame) const {
    const double x = millimetres_per(transfer_.units, scan_.x_resolution);
    const double y = millimetres_per(transfer_.units, scan_.y_resolution);
    return {frame.left / x, frame.top / y, frame.right / x, frame.bottom / y};
}

Frame Capabilities::frame() const { return to_units(scan_.frame); }

Frame Capabilities::default_frame() const { return to_units({0, 0, offer_.width, offer_.height}); }

Reply Capabilities::set_frame(const Frame& wanted) {
    const double x = millimetres_per(transfer_.units, scan_.x_resolution);
    const double y = millimetres_per(transfer_.units, scan_.y_resolution);
    const FrameMm asked{wanted.left * x, wanted.top * y, wanted.right * x, wanted.bottom * y};
    if (!(asked.left < asked.right) || !(asked.top < asked.bottom)) return failure(TWCC_BADVALUE);
    FrameMm frame{on_grid(asked.left, offer_.step_x, offer_.width), on_grid(asked.top, offer_.step_y, offer_.height),
                  on_grid(asked.right, offer_.step_x, offer_.width),
                  on_grid(asked.bottom, offer_.step_y, offer_.height)};
    if (!(frame.left < frame.right) || !(frame.top < frame.bottom)) return failure(TWCC_BADVALUE);
    scan_.frame = frame;
    transfer_.supported_size = TWSS_NONE;
    const bool exact = same(frame.left, asked.left) && same(frame.top, asked.top) && same(frame.right, asked.right) &&
                       same(frame.bottom, asked.bottom);
    return exact ? success() : check_status();
}

void Capabilities::reset_frame() {
    scan_.frame = defaults_.frame;
    transfer_.supported_size = TWSS_NONE;
}

bool Capabilities::file_format_known(TW_UINT16 format) {
    return format == TWFF_TIFF || format == TWFF_BMP || format == TWFF_PNG;
}

bool Capabilities::set_file_format(TW_UINT16 format) {
    if (!file_format_known(format)) return false;
    transfer_.file_format = format;
    return true;
}

std::optional<Capabilities::View> Capabilities::view(TW_UINT16 capability, bool device_online) const {
    const auto boolean = [](bool value) { return Item{std::int64_t{value ? 1 : 0}}; };
    switch (capability) {
        case CAP_XFERCOUNT: return View::one(TWTY_INT16, std::int64_t{transfer_.count}, std::int64_t{-1}, true);
        case CAP_SUPPORTEDCAPS: {
            std::vector<Item> items;
            for (const auto cap : supported()) items.emplace_back(std::int64_t{cap});
            View view = View::one(TWTY_UINT16, std::int64_t{0}, std::int64_t{0}, false);
            view.kind = View::Kind::Array;
            view.values = std::move(items);
            return view;
        }
        case CAP_UICONTROLLABLE: return View::one(TWTY_BOOL, boolean(true), boolean(true), false);
        case CAP_DEVICEONLINE: return View::one(TWTY_BOOL, boolean(device_online), boolean(true), false);
        case CAP_INDICATORS: return View::one(TWTY_BOOL, boolean(transfer_.indicators), boolean(true), true);
        case CAP_FEEDERENABLED:
            if (!offer_.has_feeder()) return std::nullopt;
            return View::one(TWTY_BOOL, boolean(scan_.feeder_enabled), boolean(defaults_.feeder_enabled), true);
        case CAP_FEEDERLOADED:
            // SANE cannot tell whether paper waits: a feeder in use is taken to hold some.
            if (!offer_.has_feeder()) return std::nullopt;
            return View::one(TWTY_BOOL, boolean(scan_.feeder_enabled), boolean(defaults_.feeder_enabled), false);
        case CAP_AUTOFEED:
            // A SANE feeder always feeds by itself.
            if (!offer_.has_feeder()) return std::nullopt;
            return View::fixed(TWTY_BOOL, boolean(true));
        case ICAP_COMPRESSION: return View::fixed(TWTY_UINT16, std::int64_t{TWCP_NONE});
        case ICAP_PIXELTYPE: {
            std::vector<Item> types;
            for (const auto type : offer_.pixel_types()) types.emplace_back(static_cast<std::int64_t>(type));
            return View::enumeration(TWTY_UINT16, std::move(types), static_cast<std::int64_t>(scan_.pixel_type),
                                     static_cast<std::int64_t>(defaults_.pixel_type));
        }
        case ICAP_BITDEPTH: {
            std::vector<Item> depths;
            for (const int depth : offer_.bit_depths(scan_.pixel_type)) depths.emplace_back(std::int64_t{depth});
            const int default_depth = scan_.pixel_type == defaults_.pixel_type
                                          ? defaults_.bit_depth
                                          : default_bit_depth(offer_, scan_.pixel_type);
            return View::enumeration(TWTY_UINT16, std::move(depths), std::int64_t{scan_.bit_depth},
                                     std::int64_t{default_depth});
        }
        case ICAP_BITORDER: return View::fixed(TWTY_UINT16, std::int64_t{TWBO_MSBFIRST});
        case ICAP_PLANARCHUNKY: return View::fixed(TWTY_UINT16, std::int64_t{TWPC_CHUNKY});
        case ICAP_UNITS:
            return View::enumeration(TWTY_UINT16,
                                     integers({TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS,
                                               TWUN_PIXELS, TWUN_MILLIMETERS}),
                                     std::int64_t{transfer_.units}, std::int64_t{TWUN_INCHES});
        case ICAP_XRESOLUTION:
        case ICAP_YRESOLUTION: {
            const bool x = capability == ICAP_XRESOLUTION;
            const auto& allowed = x ? offer_.x_resolution : offer_.y_resolution;
            const double current = x ? scan_.x_resolution : scan_.y_resolution;
            const double default_value = x ? defaults_.x_resolution : defaults_.y_resolution;
            if (allowed.kind() == NumericConstraint::Kind::List) {
                std::vector<Item> values(allowed.values().begin(), allowed.values().end());
                return View::enumeration(TWTY_FIX32, std::move(values), current, default_value);
            }
            View view = View::one(TWTY_FIX32, current, default_value, true);
            view.kind = View::Kind::Range;
            view.range = allowed.kind() == NumericConstraint::Kind::Range
                             ? NumericConstraint::range(allowed.lowest(), allowed.highest(),
                                                        allowed.step() > 0 ? allowed.step() : 1.0)
                             : NumericConstraint::range(1, 9600, 1);
            return view;
        }
        case ICAP_PHYSICALWIDTH: return View::one(TWTY_FIX32, default_frame().right, default_frame().right, false);
        case ICAP_PHYSICALHEIGHT: return View::one(TWTY_FIX32, default_frame().bottom, default_frame().bottom, false);
        case ICAP_XFERMECH:
            return View::enumeration(TWTY_UINT16, integers({TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}),
                                     std::int64_t{transfer_.mechanism}, std::int64_t{TWSX_NATIVE});
        case ICAP_PIXELFLAVOR:
            return View::enumeration(TWTY_UINT16, integers({TWPF_CHOCOLATE, TWPF_VANILLA}),
                                     std::int64_t{transfer_.flavor}, std::int64_t{TWPF_CHOCOLATE});
        case ICAP_IMAGEFILEFORMAT:
            return View::enumeration(TWTY_UINT16, integers({TWFF_TIFF, TWFF_BMP, TWFF_PNG}),
                                     std::int64_t{transfer_.file_format}, std::int64_t{TWFF_BMP});
        case ICAP_FRAMES: return View::one(TWTY_FRAME, frame(), default_frame(), true);
        case ICAP_SUPPORTEDSIZES: {
            std::vector<Item> sizes = {std::int64_t{TWSS_NONE}};
            for (const auto& size : paper_sizes()) {
                if (size.width <= offer_.width + kSame && size.height <= offer_.height + kSame) {
                    sizes.emplace_back(std::int64_t{size.code});
                }
            }
            return View::enumeration(TWTY_UINT16, std::move(sizes), std::int64_t{transfer_.supported_size},
                                     std::int64_t{TWSS_NONE});
        }
        default: return std::nullopt;
    }
}

Reply Capabilities::set_resolution(bool x, double value) {
    const auto& allowed = x ? offer_.x_resolution : offer_.y_resolution;
    if (!allowed.spans(value)) return failure(TWCC_BADVALUE);
    const double chosen = allowed.nearest(value).value_or(value);
    (x ? scan_.x_resolution : scan_.y_resolution) = chosen;
    // One SANE option carries both directions.
    if (offer_.resolutions_tied()) scan_.x_resolution = scan_.y_resolution = chosen;
    return same(chosen, value) ? success() : check_status();
}

Reply Capabilities::set(TW_UINT16 capability, const Item& value) {
    const auto number = number_of(value);
    const auto integer = integer_of(value);
    switch (capability) {
        case CAP_XFERCOUNT:
            if (!integer || *integer == 0 || *integer < -1 || *integer > 32767) return failure(TWCC_BADVALUE);
            transfer_.count = static_cast<TW_INT16>(*integer);
            return success();
        case CAP_INDICATORS:
            // No progress is ever shown; either answer is taken.
            if (!integer || (*integer != 0 && *integer != 1)) return failure(TWCC_BADVALUE);
            transfer_.indicators = *integer == 1;
            return success();
        case CAP_FEEDERENABLED:
            if (!integer || (*integer != 0 && *integer != 1)) return failure(TWCC_BADVALUE);
            scan_.feeder_enabled = *integer == 1;
            return success();
        case CAP_AUTOFEED: return integer == 1 ? success() : failure(TWCC_BADVALUE);
        case ICAP_COMPRESSION: return integer == TWCP_NONE ? success() : failure(TWCC_BADVALUE);
        case ICAP_BITORDER: return integer == TWBO_MSBFIRST ? success() : failure(TWCC_BADVALUE);
        case ICAP_PLANARCHUNKY: return integer == TWPC_CHUNKY ? success() : failure(TWCC_BADVALUE);
        case ICAP_PIXELTYPE: {
            const auto types = offer_.pixel_types();
            const auto found = std::find_if(types.begin(), types.end(),
                                            [&](PixelType type) { return integer == static_cast<std::int64_t>(type); });
            if (found == types.end()) return failure(TWCC_BADVALUE);
            if (*found != scan_.pixel_type) {
                scan_.pixel_type = *found;
                scan_.bit_depth = default_bit_depth(offer_, *found);
            }
            return success();
        }
        case ICAP_BITDEPTH: {
            const auto depths = offer_.bit_depths(scan_.pixel_type);
            if (!integer || std::find(depths.begin(), depths.end(), *integer) == depths.end()) {
                return failure(TWCC_BADVALUE);
            }
            scan_.bit_depth = static_cast<int>(*integer);
            return success();
        }
        case ICAP_UNITS:
            if (!integer || *integer < 0 || *integer > TWUN_MILLIMETERS) return failure(TWCC_BADVALUE);
            transfer_.units = static_cast<TW_UINT16>(*integer);
            return success();
        case ICAP_XRESOLUTION:
        case ICAP_YRESOLUTION:
            if (!number || *number <= 0) return failure(TWCC_BADVALUE);
            return set_resolution(capability == ICAP_XRESOLUTION, *number);
        case ICAP_XFERMECH:
            if (integer != TWSX_NATIVE && integer != TWSX_FILE && integer != TWSX_MEMORY) return failure(TWCC_BADVALUE);
            transfer_.mechanism = static_cast<TW_UINT16>(*integer);
            return success();
        case ICAP_PIXELFLAVOR:
            if (integer != TWPF_CHOCOLATE && integer != TWPF_VANILLA) return failure(TWCC_BADVALUE);
            transfer_.flavor = static_cast<TW_UINT16>(*integer);
            return success();
        case ICAP_IMAGEFILEFORMAT:
            if (!integer || *integer < 0 || *integer > 0xffff || !set_file_format(static_cast<TW_UINT16>(*integer))) {
                return failure(TWCC_BADVALUE);
            }
            return success();
        case ICAP_FRAMES:
            if (!std::holds_alternative<Frame>(value)) return failure(TWCC_BADVALUE);
            return set_frame(std::get<Frame>(value));
        case ICAP_SUPPORTEDSIZES: {
            if (integer == TWSS_NONE) {
                transfer_.supported_size = TWSS_NONE;
                return success();
            }
            const auto size = integer ? paper_size(static_cast<TW_UINT16>(*integer)) : std::nullopt;
            if (!size || size->width > offer_.width + kSame || size->height > offer_.height + kSame) {
                return failure(TWCC_BADVALUE);
            }
            scan_.frame = {0, 0, on_grid(size->width, offer_.step_x, offer_.width),
                           on_grid(size->height, offer_.step_y, offer_.height)};
            transfer_.supported_size = size->code;
            return success();
        }
        default: return failure(TWCC_CAPBADOPERATION);
    }
}

void Capabilities::reset(TW_UINT16 capability) {
    switch (capability) {
        case CAP_XFERCOUNT: transfer_.count = -1; break;
        case CAP_INDICATORS: transfer_.indicators = true; break;
        case CAP_FEEDERENABLED: scan_.feeder_enabled = defaults_.feeder_enabled; break;
        case ICAP_PIXELTYPE:
            scan_.pixel_type = defaults_.pixel_type;
            scan_.bit_depth = defaults_.bit_depth;
            break;
        case ICAP_BITDEPTH:
            scan_.bit_depth = scan_.pixel_type == defaults_.pixel_type ? defaults_.bit_depth
                                                                       : default_bit_depth(offer_, scan_.pixel_type);
            break;
        case ICAP_UNITS: transfer_.units = TWUN_INCHES; break;
        case ICAP_XRESOLUTION:
        case ICAP_YRESOLUTION:
            scan_.x_resolution = defaults_.x_resolution;
            scan_.y_resolution = defaults_.y_resolution;
            break;
        case ICAP_XFERMECH: transfer_.mechanism = TWSX_NATIVE; break;
        case ICAP_PIXELFLAVOR: transfer_.flavor = TWPF_CHOCOLATE; break;
        case ICAP_IMAGEFILEFORMAT: transfer_.file_format = TWFF_BMP; break;
        case ICAP_FRAMES:
        case ICAP_SUPPORTEDSIZES: reset_frame(); break;
        default: break;
    }
}

Reply Capabilities::negotiate(TW_UINT16 message, TW_CAPABILITY& capability, const DsmLink& dsm, int state,
                              bool device_online) {
    const bool setting = message == MSG_SET || message == MSG_RESET || message == MSG_RESETALL;
    const bool asking =
        message == MSG_GET || message == MSG_GETCURRENT || message == MSG_GETDEFAULT || message == MSG_QUERYSUPPORT;
    if (!setting && !asking) {
        const bool known = message == MSG_GETHELP || message == MSG_GETLABEL || message == MSG_GETLABELENUM ||
                           message == MSG_SETCONSTRAINT;
        return failure(known ? TWCC_CAPBADOPERATION : TWCC_BADPROTOCOL);
    }
    if ((setting && state != 4) || state < 4 || state > 7) return failure(TWCC_SEQERROR);
    if (message == MSG_RESETALL) {
        scan_ = defaults_;
        transfer_ = TransferSettings{};
        return success();
    }
    const auto found = view(capability.Cap, device_online);
    if (!found) return failure(TWCC_CAPUNSUPPORTED);
    if (setting && !found->settable) return failure(TWCC_CAPBADOPERATION);

    Reply reply;
    if (message == MSG_SET) {
        const auto value = value_to_set(dsm, capability);
        if (!value) return failure(TWCC_BADVALUE);
        reply = set(capability.Cap, *value);
        return reply;
    }
    if (message == MSG_RESET) reset(capability.Cap);

    const auto current = message == MSG_RESET ? view(capability.Cap, device_online) : found;
    Answer answer;
    switch (message) {
        case MSG_GET:
            switch (current->kind) {
                case View::Kind::Enumeration: {
                    const auto index_of = [&](const Item& item) -> std::size_t {
                        for (std::size_t at = 0; at < current->values.size(); ++at) {
                            const auto a = number_of(current->values[at]);
                            const auto b = number_of(item);
                            if (a && b && same(*a, *b)) return at;
                        }
                        return 0;
                    };
                    answer = Answer::enumeration(current->type, current->values, index_of(current->current),
                                                 index_of(current->default_value));
                    break;
                }
                case View::Kind::Range:
                    answer = Answer::range_of(current->type, current->range.lowest(), current->range.highest(),
                                              current->range.step(), number_of(current->default_value).value_or(0),
                                              number_of(current->current).value_or(0));
                    break;
                case View::Kind::Array: answer = Answer::array(current->type, current->values); break;
                case View::Kind::One: answer = Answer::one(current->type, current->current); break;
            }
            break;
        case MSG_GETCURRENT:
        case MSG_RESET:
        case MSG_GETDEFAULT:
            if (current->kind == View::Kind::Array) {
                answer = Answer::array(current->type, current->values);
            } else {
                answer =
                    Answer::one(current->type, message == MSG_GETDEFAULT ? current->default_value : current->current);
            }
            break;
        case MSG_QUERYSUPPORT: {
            std::int64_t operations = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
            if (current->settable) operations |= TWQC_SET | TWQC_RESET;
            answer = Answer::one(TWTY_INT32, operations);
            break;
        }
        default: break;
    }
    if (!put_answer(dsm, capability, answer)) return failure(TWCC_LOWMEMORY);
    return reply;
}

}  // namespace sane_backend
