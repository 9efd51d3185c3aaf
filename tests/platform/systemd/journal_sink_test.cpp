// The journal sink as the journal sees it: a program in a private view whose
// /run/systemd/journal holds a stand-in socket, and the same program without any journal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_processes.hpp"
#include "tests/support/journal_standin.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using testing_support::JournalEntry;
using testing_support::JournalStandIn;

std::string DescribeExit(const std::optional<int>& status) {
    if (!status) return "still running";
    if (WIFEXITED(*status)) return "exit " + std::to_string(WEXITSTATUS(*status));
    return "wait status " + std::to_string(*status);
}

TEST(JournalSink, EntriesArriveWithTheirFieldsPrefixedAndConditionsOnce) {
    testing_support::TempDir dir;
    JournalStandIn journal(dir.path());
    ASSERT_TRUE(journal.listening());
    const pid_t probe = testing_support::start_program(
        {RUN_IN_VIEW_SCRIPT, "--journal", dir.path().string(), "--", JOURNAL_PROBE});
    ASSERT_EQ(DescribeExit(testing_support::wait_for_exit(probe)), "exit 0");
    ASSERT_TRUE(testing_support::wait_until([&] { return journal.Entries().size() >= 3; }));

    const std::vector<JournalEntry> entries = journal.Entries();
    ASSERT_EQ(entries.size(), 3U);
    const JournalEntry& first = entries[0];
    EXPECT_EQ(first["MESSAGE"], "cannot open the file");
    EXPECT_EQ(first["PRIORITY"], "3");
    EXPECT_EQ(first["ERRNO"], "2");
    EXPECT_EQ(first["SYSLOG_IDENTIFIER"], "journal-probe");
    EXPECT_EQ(first["PROBE_FILE"], "/tmp/a b");
    EXPECT_EQ(first["PROBE_DETAIL"], "first line\nsecond line") << "the binary form of a field";
    EXPECT_EQ(first["FILE"], "") << "fields go under the program's prefix";

    EXPECT_EQ(entries[1]["MESSAGE"], "it is missing");
    EXPECT_EQ(entries[1]["PRIORITY"], "4");
    EXPECT_EQ(entries[1]["PROBE_CONDITION"], "MISSING");
    EXPECT_EQ(entries[1]["PROBE_CONDITION_STATE"], "began");
    EXPECT_EQ(entries[1]["ERRNO"], "") << "no errno, no field";
    EXPECT_EQ(entries[2]["PROBE_CONDITION_STATE"], "ended");
    EXPECT_EQ(entries[2]["MESSAGE"], "it is back");
}

TEST(JournalSink, WithoutAJournalNoSinkIsInstalled) {
    // No --journal: the view has no /run/systemd/journal at all.
    const pid_t probe = testing_support::start_program({RUN_IN_VIEW_SCRIPT, "--", JOURNAL_PROBE});
    EXPECT_EQ(DescribeExit(testing_support::wait_for_exit(probe)), "exit 3");
}

}  // namespace
