#pragma once
// Between the SANE device and the scan settings: what the device offers, the settings a session
// starts with, and putting the chosen settings on the device before a scan.
//
// Defaults come from the info dictionary where the device allows them: dKeyDefaultResolution,
// else dKeyResolution, for the resolution; dKeySupportedRes for the resolutions offered;
// dKeyColorDepth, when it names a bit depth the device has (1, 8, 16, 24 or 48), for pixel type
// and depth. Otherwise the device's current values count, a value outside the device's own
// constraint becoming the nearest one it allows.

#include <sane/sane.h>

#include "platform/plist/value.hpp"
#include "sane_backend/sane/sane_device.hpp"
#include "sane_backend/settings/scan_settings.hpp"

namespace sane_backend {

DeviceOffer read_offer(const SaneDevice& device, const platform::plist::Value& dictionary);

ScanSettings default_settings(const DeviceOffer& offer, const SaneDevice& device,
                              const platform::plist::Value& dictionary);

// Sets source, mode, depth, resolution and scan area on the device, in that order (a mode may
// change which depths and resolutions the device has). Returns the first failure.
SANE_Status apply_settings(SaneDevice& device, const DeviceOffer& offer, const ScanSettings& settings);

}  // namespace sane_backend
