#include "tools/twain_host/capabilities.hpp"

#include <cmath>
#include <cstring>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/triplet_names.hpp"

namespace twain_host {

namespace {

using namespace twain;

std::string shown_value(TW_UINT16 item_type, TW_UINT32 item) {
    if (item_type == TWTY_FIX32) {
        const double value = fix32_value(item);
        return value == std::floor(value) ? std::to_string(static_cast<long>(value))
                                          : std::to_string(value);
    }
    if (item_type == TWTY_INT16) return std::to_string(static_cast<TW_INT16>(item & 0xFFFF));
    return std::to_string(item);
}

}  // namespace

TW_UINT32 fix32_bits(double value) {
    const TW_FIX32 fix = to_fix32(value);
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &fix, sizeof bits);
    return bits;
}

double fix32_value(TW_UINT32 bits) {
    TW_FIX32 fix{};
    std::memcpy(&fix, &bits, sizeof fix);
    return from_fix32(fix);
}

std::optional<StepFailure> set_one_value(ApplicationLink& link, TW_UINT16 capability,
                                         TW_UINT16 item_type, TW_UINT32 item) {
    const std::string step = "DG_CONTROL/DAT_CAPABILITY/MSG_SET " + capability_name(capability) +
                             " " + shown_value(item_type, item);
    TW_CAPABILITY request{capability, TWON_ONEVALUE, link.allocate(sizeof(TW_ONEVALUE))};
    if (!request.hContainer)
        return StepFailure{step + " (no memory for the container)", TWRC_FAILURE, std::nullopt};
    auto* one = static_cast<TW_ONEVALUE*>(link.lock(request.hContainer));
    one->ItemType = item_type;
    one->Item = item;
    link.unlock(request.hContainer);
    const TW_UINT16 code = link.to_source(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &request);
    link.free(request.hContainer);
    if (code == TWRC_SUCCESS || code == TWRC_CHECKSTATUS) return std::nullopt;
    return link.source_failure(step, code);
}

std::optional<TW_UINT32> current_one_value(ApplicationLink& link, TW_UINT16 capability) {
    TW_CAPABILITY request{capability, TWON_DONTCARE16, nullptr};
    const TW_UINT16 code = link.to_source(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &request);
    if (code != TWRC_SUCCESS || !request.hContainer) return std::nullopt;
    std::optional<TW_UINT32> value;
    if (request.ConType == TWON_ONEVALUE) {
        const auto* one = static_cast<const TW_ONEVALUE*>(link.lock(request.hContainer));
        // Read by value: a packed record's member is no place to bind a reference to.
        if (one) value = TW_UINT32{one->Item};
        link.unlock(request.hContainer);
    }
    link.free(request.hContainer);
    return value;
}

}  // namespace twain_host
