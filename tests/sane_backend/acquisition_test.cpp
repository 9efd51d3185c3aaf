// Whole acquisitions through twain-source's DS_Entry and the backend over SANE's test device:
// the pixels of the device's pictures, in each pixel type and depth, by each mechanism.

#include <gtest/gtest.h>

#include "tests/sane_backend/support/picture.hpp"
#include "tests/sane_backend/support/sane_world.hpp"
#include "tests/sane_backend/support/source_manager.hpp"

namespace {

using namespace twain;
using namespace sane_testing;

TEST(Acquisition, Smoke) {
    SaneWorld world({"test-picture \"Grid\""});
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS) << host.open_condition();
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS) << host.condition();
    const auto image = host.memory();
    EXPECT_EQ(image.rc, TWRC_XFERDONE) << host.condition();
    const auto picture = from_lines(image.bytes, image.info, false);
    EXPECT_EQ(first_difference(picture, Pattern::Grid, 75), "");
    EXPECT_EQ(picture.width, 590);
    TW_UINT16 count = 9;
    EXPECT_EQ(host.end_transfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(host.disable(), TWRC_SUCCESS);
    EXPECT_EQ(host.close(), TWRC_SUCCESS);
    EXPECT_EQ(host.live_allocations(), 0u);
}

}  // namespace
