#pragma once
// Capability negotiation (DG_CONTROL/DAT_CAPABILITY) over the device's offer and the session's
// settings, and the image layout that ICAP_FRAMES, ICAP_SUPPORTEDSIZES and DAT_IMAGELAYOUT share.
//
// Every capability answers MSG_GET (its allowed values: an enumeration, a range, or one value
// for read-only and boolean ones), MSG_GETCURRENT, MSG_GETDEFAULT and MSG_QUERYSUPPORT in states
// 4 to 7; the settable ones MSG_SET and MSG_RESET in state 4. A value the capability never takes
// is TWCC_BADVALUE; a resolution or frame the device can only approach is set to the nearest one
// it takes, with TWRC_CHECKSTATUS.

#include <string>
#include <vector>

#include "sane_backend/settings/scan_settings.hpp"
#include "sane_backend/source/capability_container.hpp"
#include "sane_backend/source/reply.hpp"

namespace sane_backend {

// What the application chose about the transfers themselves.
struct TransferSettings {
    twain::TW_UINT16 mechanism = twain::TWSX_NATIVE;
    twain::TW_UINT16 file_format = twain::TWFF_BMP;
    twain::TW_UINT16 flavor = twain::TWPF_CHOCOLATE;
    twain::TW_UINT16 units = twain::TWUN_INCHES;
    twain::TW_INT16 count = -1;
    bool indicators = true;
    twain::TW_UINT16 supported_size = twain::TWSS_NONE;
};

class Capabilities {
public:
    Capabilities(DeviceOffer offer, ScanSettings defaults);

    // One DAT_CAPABILITY triplet in the given state (4 to 7); device_online answers
    // CAP_DEVICEONLINE.
    Reply negotiate(twain::TW_UINT16 message, twain::TW_CAPABILITY& capability, const DsmLink& dsm, int state,
                    bool device_online);

    const DeviceOffer& offer() const { return offer_; }
    const ScanSettings& scan() const { return scan_; }
    const TransferSettings& transfer() const { return transfer_; }
    bool vanilla() const { return transfer_.flavor == twain::TWPF_VANILLA; }

    // The layout frame in the application's units, its default, and setting it (TWRC_CHECKSTATUS
    // when clipped to the scan area or the device's steps, TWCC_BADVALUE when nothing is left).
    Frame frame() const;
    Frame default_frame() const;
    Reply set_frame(const Frame& frame);
    void reset_frame();

    // The file format the file transfer writes (ICAP_IMAGEFILEFORMAT, also set through
    // DAT_SETUPFILEXFER).
    bool set_file_format(twain::TW_UINT16 format);
    static bool file_format_known(twain::TW_UINT16 format);

private:
    struct View;
    std::optional<View> view(twain::TW_UINT16 capability, bool device_online) const;
    Reply set(twain::TW_UINT16 capability, const Item& value);
    void reset(twain::TW_UINT16 capability);
    std::vector<twain::TW_UINT16> supported() const;
    Reply set_resolution(bool x, double value);
    Frame to_units(const FrameMm& frame) const;

    DeviceOffer offer_;
    ScanSettings defaults_;
    ScanSettings scan_;
    TransferSettings transfer_;
};

}  // namespace sane_backend
