// Reports through the platform's journal sink what journal_sink_test.cpp looks for: an entry
// with an errno and a value over two lines, then a condition met three times and ended once.
// Exits 3 when there is no journal to report to.

#include <cerrno>

#include "platform/diagnostics/reporting.hpp"
#include "platform/systemd/journal_sink.hpp"

int main() {
    namespace diagnostics = platform::diagnostics;
    if (!platform::systemd::report_to_journal("journal-probe", "PROBE_")) return 3;
    diagnostics::report({diagnostics::Priority::Error,
                         "cannot open the file",
                         {{"FILE", "/tmp/a b"}, {"DETAIL", "first line\nsecond line"}},
                         ENOENT});
    const auto missing = [] {
        return diagnostics::Entry{diagnostics::Priority::Warning, "it is missing", {}, 0};
    };
    for (int event = 0; event < 3; ++event) diagnostics::begin_condition("MISSING", "", missing);
    diagnostics::end_condition("MISSING", "", [] {
        return diagnostics::Entry{diagnostics::Priority::Notice, "it is back", {}, 0};
    });
    return 0;
}
