#pragma once
// The systemd journal as the sink of diagnostic entries (sd_journal_sendv): MESSAGE, PRIORITY,
// SYSLOG_IDENTIFIER, ERRNO when the entry has one, and each field of the entry under a prefix
// of the program's, so that `journalctl FIELD_PREFIX_CONDITION=...` finds a kind of entry.
//
// The journal is the datagram socket /run/systemd/journal/socket. A program that starts where
// there is none (no journal on this machine, or a view without it) installs no sink, so that it
// reports nothing and holds no socket for it: without a journal nothing changes.

#include <string_view>

#include "platform/diagnostics/entry.hpp"

namespace platform::systemd {

// Installs the journal as the diagnostics' sink, with the program's identifier and the prefix
// of its field names ("VELMORA_"); both are copied. False, and nothing installed, when there is
// no journal. Call it once, before any thread reports.
bool report_to_journal(std::string_view identifier, std::string_view field_prefix);

// One entry to the journal, as the sink does: false when the journal did not take it.
bool send_to_journal(const diagnostics::Entry& entry, std::string_view identifier,
                     std::string_view field_prefix);

}  // namespace platform::systemd
