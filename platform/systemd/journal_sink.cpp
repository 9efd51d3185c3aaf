#include "platform/systemd/journal_sink.hpp"

#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/diagnostics/reporting.hpp"

namespace platform::systemd {

namespace {

// Where libsystemd sends entries.
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

struct SinkSettings {
    std::string identifier;
    std::string field_prefix;
};

SinkSettings& settings() {
    static SinkSettings* const instance = new SinkSettings;  // used by threads until the end
    return *instance;
}

void journal_sink(const diagnostics::Entry& entry) {
    (void)send_to_journal(entry, settings().identifier, settings().field_prefix);
}

}  // namespace

bool send_to_journal(const diagnostics::Entry& entry, std::string_view identifier,
                     std::string_view field_prefix) {
    // KEY=value strings; the journal protocol takes values with newlines too, which
    // sd_journal_sendv sends in its binary form.
    std::vector<std::string> lines;
    lines.reserve(entry.fields.size() + 4);
    lines.push_back("MESSAGE=" + entry.message);
    lines.push_back("PRIORITY=" + std::to_string(static_cast<int>(entry.priority)));
    if (!identifier.empty()) lines.push_back("SYSLOG_IDENTIFIER=" + std::string(identifier));
    if (entry.error_number != 0) lines.push_back("ERRNO=" + std::to_string(entry.error_number));
    for (const auto& field : entry.fields) {
        lines.push_back(std::string(field_prefix) + field.name + "=" + field.value);
    }
    std::vector<iovec> parts;
    parts.reserve(lines.size());
    for (auto& line : lines) parts.push_back(iovec{line.data(), line.size()});
    return ::sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0;
}

bool report_to_journal(std::string_view identifier, std::string_view field_prefix) {
    if (::access(kJournalSocket, F_OK) != 0) return false;
    settings().identifier = identifier;
    settings().field_prefix = field_prefix;
    diagnostics::set_sink(&journal_sink);
    return true;
}

}  // namespace platform::systemd
