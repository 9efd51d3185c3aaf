// Running out of descriptors: noticed by the platform's own error messages, ended once a
// descriptor can be had again.

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/base/errno_text.hpp"
#include "platform/diagnostics/descriptors.hpp"
#include "platform/diagnostics/reporting.hpp"
#include "tests/support/descriptor_limit.hpp"
#include "tests/support/recorded_entries.hpp"

namespace {

using platform::diagnostics::descriptors_exhausted;
using testing_support::FieldOf;
using testing_support::RecordedEntries;

std::vector<std::string> States(const RecordedEntries& recorded) {
    std::vector<std::string> states;
    for (const auto& entry : recorded.With("CONDITION", std::string(descriptors_exhausted))) {
        states.push_back(FieldOf(entry, "CONDITION_STATE"));
    }
    return states;
}

TEST(DescriptorsExhausted, BeginsWithTheErrorsThatMeanNoDescriptorIsLeft) {
    for (const int error : {EMFILE, ENFILE}) {
        RecordedEntries recorded;
        (void)platform::errno_text("cannot open /tmp/prefs.plist", error);
        (void)platform::errno_text("cannot open /tmp/other.plist", error);
        const auto entries = recorded.All();
        ASSERT_EQ(entries.size(), 1U) << "errno " << error;
        EXPECT_EQ(entries[0].error_number, error);
        EXPECT_EQ(FieldOf(entries[0], "STEP"), "cannot open /tmp/prefs.plist");
    }
}

TEST(DescriptorsExhausted, OtherErrorsAreNoSign) {
    RecordedEntries recorded;
    for (const int error : {ENOENT, EACCES, ENOMEM, EAGAIN, 0}) {
        (void)platform::errno_text("cannot open /tmp/prefs.plist", error);
    }
    platform::diagnostics::note_error(ENOSPC, "cannot write");
    EXPECT_TRUE(recorded.All().empty());
}

TEST(DescriptorsExhausted, EndsOnlyOnceADescriptorCanBeHad) {
    RecordedEntries recorded;
    platform::diagnostics::check_descriptors();
    EXPECT_TRUE(recorded.All().empty()) << "nothing to end";
    {
        testing_support::SpareDescriptors none(0);
        ASSERT_LT(::eventfd(0, EFD_CLOEXEC), 0);
        platform::diagnostics::note_error(errno, "cannot make an eventfd");
        platform::diagnostics::check_descriptors();
        platform::diagnostics::check_descriptors();
        EXPECT_EQ(States(recorded), (std::vector<std::string>{"began"})) << "still none to be had";
    }
    platform::diagnostics::check_descriptors();
    platform::diagnostics::check_descriptors();
    EXPECT_EQ(States(recorded), (std::vector<std::string>{"began", "ended"}));
}

}  // namespace
