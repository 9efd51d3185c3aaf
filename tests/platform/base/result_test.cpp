#include "platform/base/result.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/base/errno_text.hpp"

namespace {

using platform::Error;
using platform::Result;

// Nothing in the layer throws: asking a failed result for its value is a fault of the caller,
// and the process ends saying which error was ignored instead of unwinding with an exception.
TEST(ResultDeathTest, TheValueOfAFailureEndsTheProcessWithItsMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Result<int> failed(Error{"cannot open /nowhere", -43});
            [[maybe_unused]] const int value = failed.value();
        },
        "value of a failed result.*cannot open /nowhere \\(status -43\\)");
    EXPECT_DEATH(
        {
            Result<std::unique_ptr<int>> failed(Error{"gone"});
            [[maybe_unused]] auto value = std::move(failed).value();
        },
        "value of a failed result.*gone");
    EXPECT_DEATH(
        {
            const Result<std::string> done(std::string("fine"));
            [[maybe_unused]] const auto& error = done.error();
        },
        "error of a successful result");
}

TEST(ErrnoText, NamesWhatFailedAndTheSystemsReason) {
    EXPECT_EQ(platform::errno_text("cannot open /nowhere", ENOENT),
              "cannot open /nowhere: No such file or directory");
    EXPECT_EQ(platform::errno_text(EACCES), "Permission denied");
}

}  // namespace
