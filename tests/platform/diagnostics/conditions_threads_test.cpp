// Threads that begin and end the same condition at once: the entries still tell a true story,
// began and ended in turn, as many of each as there were changes.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/diagnostics/reporting.hpp"
#include "tests/support/recorded_entries.hpp"

namespace {

using platform::diagnostics::Entry;
using platform::diagnostics::Priority;
using testing_support::FieldOf;

TEST(ConditionsAcrossThreads, BeganAndEndedAlternateWhateverTheInterleaving) {
    testing_support::RecordedEntries recorded;
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::atomic<int> changes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                // Half the threads mostly begin, half mostly end: the state flips often.
                const bool begin = (round + t) % 3 != 0;
                const auto make = [] { return Entry{Priority::Notice, "x", {}, 0}; };
                const bool changed = begin
                                         ? platform::diagnostics::begin_condition("FLIP", "", make)
                                         : platform::diagnostics::end_condition("FLIP", "", make);
                if (changed) changes.fetch_add(1);
                platform::diagnostics::report(Entry{Priority::Debug, "event", {}, 0});
            }
        });
    }
    for (auto& thread : threads) thread.join();

    std::string expected = "began";
    int seen = 0;
    for (const auto& entry : recorded.With("CONDITION", "FLIP")) {
        ASSERT_EQ(FieldOf(entry, "CONDITION_STATE"), expected) << "entry " << seen;
        expected = expected == "began" ? "ended" : "began";
        ++seen;
    }
    EXPECT_EQ(seen, changes.load());
    EXPECT_EQ(recorded.All().size(), static_cast<std::size_t>(seen + kThreads * kRounds));
}

}  // namespace
