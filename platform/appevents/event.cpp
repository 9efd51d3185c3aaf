#include "platform/appevents/event.hpp"

#include <algorithm>
#include <utility>

namespace platform::appevents {

Event::Event(FourCharCode event_class, FourCharCode event_id, Descriptor target,
             std::int16_t return_id, std::int32_t transaction_id)
    : class_(event_class),
      id_(event_id),
      target_(std::move(target)),
      return_id_(return_id),
      transaction_id_(transaction_id) {}

void Event::put_parameter(FourCharCode keyword, Descriptor descriptor) {
    auto same = [keyword](const Parameter& parameter) { return parameter.keyword == keyword; };
    if (auto found = std::find_if(parameters_.begin(), parameters_.end(), same);
        found != parameters_.end()) {
        found->descriptor = std::move(descriptor);
        return;
    }
    parameters_.push_back(Parameter{keyword, std::move(descriptor)});
}

const Descriptor* Event::parameter(FourCharCode keyword) const noexcept {
    for (const auto& parameter : parameters_) {
        if (parameter.keyword == keyword) return &parameter.descriptor;
    }
    return nullptr;
}

}  // namespace platform::appevents
