#include "platform/base/system_version.hpp"

namespace platform {

std::uint32_t system_version_bcd() { return 0x1099; }

}  // namespace platform
