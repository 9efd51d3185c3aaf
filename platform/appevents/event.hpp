#pragma once
// An application event: class and ID, the target it is addressed to, return and transaction
// IDs, and keyword parameters in the order they were added.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/appevents/codes.hpp"
#include "platform/appevents/descriptor.hpp"
#include "platform/base/four_char_code.hpp"

namespace platform::appevents {

struct Parameter {
    FourCharCode keyword;
    Descriptor descriptor;
    friend bool operator==(const Parameter&, const Parameter&) = default;
};

class Event {
public:
    Event(FourCharCode event_class, FourCharCode event_id, Descriptor target,
          std::int16_t return_id = auto_generate_return_id,
          std::int32_t transaction_id = any_transaction_id);

    FourCharCode event_class() const noexcept { return class_; }
    FourCharCode event_id() const noexcept { return id_; }
    const Descriptor& target() const noexcept { return target_; }
    std::int16_t return_id() const noexcept { return return_id_; }
    std::int32_t transaction_id() const noexcept { return transaction_id_; }

    // Adds the parameter at the end; a keyword the event already has keeps its place and gets
    // the new descriptor.
    void put_parameter(FourCharCode keyword, Descriptor descriptor);
    // The parameter's descriptor; null when the event has no such keyword.
    const Descriptor* parameter(FourCharCode keyword) const noexcept;
    std::span<const Parameter> parameters() const noexcept { return parameters_; }

    friend bool operator==(const Event&, const Event&) = default;

private:
    FourCharCode class_;
    FourCharCode id_;
    Descriptor target_;
    std::int16_t return_id_;
    std::int32_t transaction_id_;
    std::vector<Parameter> parameters_;
};

}  // namespace platform::appevents
