#include "tests/support/recorded_entries.hpp"

#include <mutex>

#include "platform/diagnostics/reporting.hpp"

namespace testing_support {

namespace {

std::mutex recordLock;
std::vector<platform::diagnostics::Entry> record;

void Record(const platform::diagnostics::Entry& entry) {
    const std::lock_guard guard(recordLock);
    record.push_back(entry);
}

}  // namespace

RecordedEntries::RecordedEntries() {
    platform::diagnostics::forget_conditions();
    Clear();
    platform::diagnostics::set_sink(&Record);
}

RecordedEntries::~RecordedEntries() {
    platform::diagnostics::set_sink(nullptr);
    platform::diagnostics::forget_conditions();
}

std::vector<platform::diagnostics::Entry> RecordedEntries::All() const {
    const std::lock_guard guard(recordLock);
    return record;
}

std::vector<platform::diagnostics::Entry> RecordedEntries::With(const std::string& field,
                                                                const std::string& value) const {
    std::vector<platform::diagnostics::Entry> found;
    for (auto& entry : All()) {
        if (FieldOf(entry, field) == value) found.push_back(std::move(entry));
    }
    return found;
}

void RecordedEntries::Listen() { platform::diagnostics::set_sink(&Record); }

void RecordedEntries::Clear() {
    const std::lock_guard guard(recordLock);
    record.clear();
}

std::string FieldOf(const platform::diagnostics::Entry& entry, const std::string& name) {
    for (const auto& field : entry.fields) {
        if (field.name == name) return field.value;
    }
    return {};
}

}  // namespace testing_support
