// Round after round of open, scan and close leaves nothing behind: no memory of the Source
// Manager's allocator, no descriptor, no thread (and, in the sanitizer build, no leak). The
// thousand rounds are measured by bench/sane_backend/measure_sane_rounds.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/sane_backend/support/sane_world.hpp"
#include "tests/sane_backend/support/source_manager.hpp"

namespace {

using namespace twain;
using namespace sane_testing;

std::size_t entries(const char* folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

// The threads of the process, once those that have ended are gone from the list: a thread that
// was joined a moment ago may still be listed (a condition waited for, not a delay).
std::size_t threads_once_ended() {
    for (int poll = 0; poll < 20000 && entries("/proc/self/task") > 1; ++poll) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return entries("/proc/self/task");
}

TEST(Rounds, OpenScanAndCloseLeaveNothingBehind) {
    SaneWorld world({"test-picture \"Grid\"", "mode Color"});
    SourceManager host;
    std::size_t descriptors = 0;
    constexpr int kRounds = 25;
    const TW_UINT16 mechanisms[] = {TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE};
    for (int round = 1; round <= kRounds; ++round) {
        ASSERT_EQ(host.open(), TWRC_SUCCESS) << "round " << round;
        ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
        ASSERT_NE(host.small_frame(), TWRC_FAILURE);
        const auto mechanism = mechanisms[round % 3];
        ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
        ASSERT_EQ(host.set(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
        ASSERT_EQ(host.enable(), TWRC_SUCCESS);
        const auto image = mechanism == TWSX_NATIVE   ? host.native()
                           : mechanism == TWSX_MEMORY ? host.memory()
                                                      : host.file(world.scratch() / "page.png", TWFF_PNG);
        ASSERT_EQ(image.rc, TWRC_XFERDONE) << "round " << round;
        // The second image is left halfway through the batch: reset.
        ASSERT_EQ(host.end_transfer(), TWRC_SUCCESS);
        ASSERT_EQ(host.reset_transfers(), TWRC_SUCCESS);
        ASSERT_EQ(host.disable(), TWRC_SUCCESS);
        ASSERT_EQ(host.close(), TWRC_SUCCESS);
        EXPECT_EQ(host.live_allocations(), 0u) << "round " << round;
        EXPECT_EQ(threads_once_ended(), 1u) << "round " << round << ": a thread is left";
        if (round == 1) descriptors = entries("/proc/self/fd");
        EXPECT_EQ(entries("/proc/self/fd"), descriptors) << "round " << round;
    }
}

}  // namespace
