// Conditions are reported when they begin and when they end, never in between, and each
// subject of a condition keeps its own state.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/diagnostics/reporting.hpp"
#include "tests/support/recorded_entries.hpp"

namespace {

using platform::diagnostics::begin_condition;
using platform::diagnostics::end_condition;
using platform::diagnostics::Entry;
using platform::diagnostics::Priority;
using testing_support::FieldOf;
using testing_support::RecordedEntries;

Entry Made(const std::string& message, int* made = nullptr) {
    if (made) ++*made;
    return Entry{Priority::Warning, message, {{"FILE", "/tmp/x"}}, 0};
}

// "began: message" / "ended: message" for each entry, in order.
std::vector<std::string> Story(const RecordedEntries& recorded) {
    std::vector<std::string> story;
    for (const auto& entry : recorded.All()) {
        story.push_back(FieldOf(entry, "CONDITION") + " " + FieldOf(entry, "CONDITION_STATE") +
                        ": " + entry.message);
    }
    return story;
}

TEST(Conditions, AreReportedWhenTheyBeginAndEndAndNotWhileTheyLast) {
    RecordedEntries recorded;
    int made = 0;
    for (int event = 0; event < 1000; ++event) {
        begin_condition("SOMETHING_MISSING", "", [&] { return Made("missing", &made); });
    }
    EXPECT_TRUE(platform::diagnostics::condition_on("SOMETHING_MISSING", ""));
    for (int event = 0; event < 3; ++event) {
        end_condition("SOMETHING_MISSING", "", [&] { return Made("found", &made); });
    }
    begin_condition("SOMETHING_MISSING", "", [&] { return Made("missing again", &made); });

    EXPECT_EQ(Story(recorded),
              (std::vector<std::string>{"SOMETHING_MISSING began: missing",
                                        "SOMETHING_MISSING ended: found",
                                        "SOMETHING_MISSING began: missing again"}));
    EXPECT_EQ(made, 3) << "an entry is made only when it is reported";
    const auto entries = recorded.All();
    EXPECT_EQ(FieldOf(entries[0], "FILE"), "/tmp/x") << "the caller's fields stay";
    EXPECT_EQ(entries[0].priority, Priority::Warning);
}

TEST(Conditions, AnEndWithoutABeginReportsNothing) {
    RecordedEntries recorded;
    EXPECT_FALSE(end_condition("NEVER_BEGAN", "", [] { return Made("found"); }));
    EXPECT_TRUE(recorded.All().empty());
}

TEST(Conditions, EachSubjectAndEachNameKeepsItsOwnState) {
    RecordedEntries recorded;
    EXPECT_TRUE(begin_condition("ENTRY_POINT_MISSING", "ScanVersion", [] { return Made("a"); }));
    EXPECT_TRUE(begin_condition("ENTRY_POINT_MISSING", "DisableScanner", [] { return Made("b"); }));
    EXPECT_TRUE(begin_condition("LIBRARY_MISSING", "ScanVersion", [] { return Made("c"); }));
    EXPECT_FALSE(begin_condition("ENTRY_POINT_MISSING", "ScanVersion", [] { return Made("d"); }));
    EXPECT_TRUE(end_condition("ENTRY_POINT_MISSING", "ScanVersion", [] { return Made("e"); }));
    EXPECT_TRUE(platform::diagnostics::condition_on("ENTRY_POINT_MISSING", "DisableScanner"));
    EXPECT_TRUE(platform::diagnostics::condition_on("LIBRARY_MISSING", "ScanVersion"));
    // A name and subject that run together differently are still apart.
    EXPECT_TRUE(begin_condition("ENTRY", "POINT_MISSING\nScanVersion", [] { return Made("f"); }));

    std::vector<std::string> messages;
    for (const auto& entry : recorded.All()) messages.push_back(entry.message);
    EXPECT_EQ(messages, (std::vector<std::string>{"a", "b", "c", "e", "f"}));
}

TEST(Conditions, AreTrackedWhileNoSinkListens) {
    RecordedEntries recorded;
    platform::diagnostics::set_sink(nullptr);
    begin_condition("UNSEEN", "", [] { return Made("began without a sink"); });
    platform::diagnostics::report(Made("dropped"));
    recorded.Listen();
    EXPECT_FALSE(begin_condition("UNSEEN", "", [] { return Made("began again"); }))
        << "its state was kept while nobody listened";
    EXPECT_TRUE(end_condition("UNSEEN", "", [] { return Made("ended"); }));
    EXPECT_EQ(Story(recorded), (std::vector<std::string>{"UNSEEN ended: ended"}));
}

}  // namespace
