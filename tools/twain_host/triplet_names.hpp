#pragma once
// Names of TWAIN data groups, data argument types, messages, return codes and condition codes,
// both ways: "control/identity/get" or "DG_CONTROL/DAT_IDENTITY/MSG_GET" (or numbers) to a
// triplet, and a number to its name for printing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "twain/protocol/twain_types.hpp"

namespace twain_host {

struct Triplet {
    twain::TW_UINT32 data_group = 0;
    twain::TW_UINT16 data_argument_type = 0;
    twain::TW_UINT16 message = 0;
};

// "DG/DAT/MSG", each part a name with or without its prefix, in any case, or a number (decimal
// or 0x hexadecimal); empty when a part is unknown or out of range.
std::optional<Triplet> parse_triplet(std::string_view text);

// "DG_CONTROL/DAT_IDENTITY/MSG_GET"; unknown values as numbers.
std::string triplet_name(const Triplet& triplet);
// "TWRC_SUCCESS (0)", "TWCC_BADPROTOCOL (9)"; unknown values as "0x1234".
std::string return_code_name(twain::TW_UINT16 code);
std::string condition_code_name(twain::TW_UINT16 code);
// "ICAP_XRESOLUTION" for the capabilities the host negotiates or reads; "0x1234" otherwise.
std::string capability_name(twain::TW_UINT16 capability);
// "DG_CONTROL DG_IMAGE" for the bits of SupportedGroups that have names.
std::string data_group_bits(twain::TW_UINT32 groups);

}  // namespace twain_host
