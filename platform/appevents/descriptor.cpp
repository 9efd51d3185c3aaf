#include "platform/appevents/descriptor.hpp"

#include <algorithm>
#include <string>

#include "platform/base/os_status.hpp"

namespace platform::appevents {

Result<Descriptor> Descriptor::create(FourCharCode type, std::span<const std::byte> data) {
    if (data.size() > max_data_size) {
        return Error{"descriptor data of " + std::to_string(data.size()) + " bytes is too large",
                     os_status::memFullErr};
    }
    return Descriptor(type, std::vector<std::byte>(data.begin(), data.end()));
}

std::size_t Descriptor::copy_data(std::span<std::byte> out) const noexcept {
    const std::size_t count = std::min(out.size(), data_.size());
    std::copy_n(data_.begin(), count, out.begin());
    return count;
}

}  // namespace platform::appevents
