#pragma once
// Capability negotiation from the application's side: one value set (MSG_SET with a
// TWON_ONEVALUE container the application allocates through the Source Manager's functions and
// frees again) and read (MSG_GETCURRENT; the source allocates the container, the application
// frees it). Values travel as the 32 bits of TW_ONEVALUE::Item.

#include <optional>
#include <string>

#include "tools/twain_host/application_link.hpp"

namespace twain_host {

// Empty when the source took the value: TWRC_SUCCESS, or TWRC_CHECKSTATUS when it took the
// nearest value it has.
std::optional<StepFailure> set_one_value(ApplicationLink& link, twain::TW_UINT16 capability,
                                         twain::TW_UINT16 item_type, twain::TW_UINT32 item);
// The current value of a capability whose container is a one value; empty when the source
// answers otherwise.
std::optional<twain::TW_UINT32> current_one_value(ApplicationLink& link,
                                                  twain::TW_UINT16 capability);

twain::TW_UINT32 fix32_bits(double value);
double fix32_value(twain::TW_UINT32 bits);

}  // namespace twain_host
