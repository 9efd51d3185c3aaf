#pragma once
// One triplet sent through a data source's DS_Entry, with data of the kind its data argument
// type asks for, and the outcome printed in readable form.

#include <ostream>
#include <string_view>

#include "tools/twain_host/triplet_names.hpp"
#include "twain/protocol/twain_types.hpp"

namespace twain_host {

// Sends the triplet from origin (null allowed) and prints
//   DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)
// followed by the identity or status that came back, each line after the indent.
twain::TW_UINT16 send_triplet(twain::DSENTRYPROC entry, twain::pTW_IDENTITY origin,
                              const Triplet& triplet, std::ostream& out, std::string_view indent);

// The identity's fields, one per line.
void print_identity(const twain::TW_IDENTITY& identity, std::ostream& out, std::string_view indent);

}  // namespace twain_host
