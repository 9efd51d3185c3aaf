#pragma once
// The diagnostics' entries, recorded in the test process instead of going to a journal. While a
// RecordedEntries lives it is the diagnostics' sink, and every condition starts off.

#include <string>
#include <vector>

#include "platform/diagnostics/entry.hpp"

namespace testing_support {

class RecordedEntries {
public:
    RecordedEntries();
    RecordedEntries(const RecordedEntries&) = delete;
    RecordedEntries& operator=(const RecordedEntries&) = delete;
    ~RecordedEntries();

    std::vector<platform::diagnostics::Entry> All() const;
    // The entries with this field value (for example "CONDITION", "SCAN_HUB_MISSING").
    std::vector<platform::diagnostics::Entry> With(const std::string& field,
                                                   const std::string& value) const;
    void Clear();
    // Becomes the sink again (after a test took it away).
    void Listen();
};

// The value of an entry's field, or "" when it has none.
std::string FieldOf(const platform::diagnostics::Entry& entry, const std::string& name);

}  // namespace testing_support
