#pragma once
// The supported all-in-one on USB and the HID usages of its panel buttons.

#include <cstdint>

namespace monitor {

inline constexpr std::int32_t kAllInOneVendorId = 7731;  // 0x1e33
inline constexpr std::int32_t kAllInOneProductId = 183;  // 0x00b7
// The panel's button code and its parameter byte, on the device's vendor usage page.
inline constexpr std::int32_t kButtonCodeUsage = 166;
inline constexpr std::int32_t kButtonParameterUsage = 167;

}  // namespace monitor
