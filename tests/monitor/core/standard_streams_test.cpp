// Unique numbers written to a standard error whose reader is behind or has stopped reading.
#include "monitor/core/standard_streams.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/support/recorded_entries.hpp"

namespace {

using testing_support::FieldOf;

// Standard error is the write end of a pipe for the life of the fixture; the test holds the read
// end and reads only when it says so.
class StandardErrorPipe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::pipe2(ends_, O_CLOEXEC), 0);
        saved_ = ::dup(STDERR_FILENO);
        ASSERT_GE(saved_, 0);
        ASSERT_EQ(::dup2(ends_[1], STDERR_FILENO), STDERR_FILENO);
    }
    void TearDown() override {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        ::close(ends_[0]);
        ::close(ends_[1]);
    }

    // Writes lines until one is dropped; how many went out.
    int FillUntilDropped() {
        int written = 0;
        while (monitor::WriteErrorLine("-56\n")) ++written;
        return written;
    }

    std::string ReadAll() {
        const int flags = ::fcntl(ends_[0], F_GETFL);
        ::fcntl(ends_[0], F_SETFL, flags | O_NONBLOCK);
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = ::read(ends_[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        ::fcntl(ends_[0], F_SETFL, flags);
        return text;
    }

    int ends_[2] = {-1, -1};
    int saved_ = -1;
    testing_support::RecordedEntries entries_;
};

TEST_F(StandardErrorPipe, AReaderThatStopsLosesLinesWithOneEntryAndGetsWholeLinesAgainWhenItReads) {
    const int written = FillUntilDropped();
    ASSERT_GT(written, 0);
    EXPECT_FALSE(monitor::WriteErrorLine("-56\n")) << "still not read";

    auto reported = entries_.With("CONDITION", "STANDARD_ERROR_NOT_READ");
    ASSERT_EQ(reported.size(), 1u) << "reported when it begins, not per line";
    EXPECT_EQ(FieldOf(reported[0], "CONDITION_STATE"), "began");

    std::string expected;
    for (int line = 0; line < written; ++line) expected += "-56\n";
    EXPECT_EQ(ReadAll(), expected) << "only whole lines went out";

    EXPECT_TRUE(monitor::WriteErrorLine("-55\n"));
    EXPECT_EQ(ReadAll(), "-55\n");
    reported = entries_.With("CONDITION", "STANDARD_ERROR_NOT_READ");
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(FieldOf(reported[1], "CONDITION_STATE"), "ended");
}

TEST_F(StandardErrorPipe, AGoneReaderIsNoConditionToWaitOn) {
    ::close(ends_[0]);
    ends_[0] = -1;
    monitor::CatchBrokenPipeSignal();
    EXPECT_FALSE(monitor::WriteErrorLine("-56\n"));
    EXPECT_TRUE(entries_.With("CONDITION", "STANDARD_ERROR_NOT_READ").empty());
}

}  // namespace
