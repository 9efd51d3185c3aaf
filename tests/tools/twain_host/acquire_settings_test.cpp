#include "tools/twain_host/acquire_settings.hpp"

#include <gtest/gtest.h>

#include "tools/twain_host/output_names.hpp"

namespace {

using namespace twain_host;

TEST(AcquireSettings, OptionValuesAreReadOrRefusedWhole) {
    EXPECT_EQ(parse_resolution("300"), 300.0);
    EXPECT_EQ(parse_resolution("75.5"), 75.5);
    for (const auto* bad : {"", "0", "-100", "300dpi", " 300", "nan", "inf", "40000"}) {
        EXPECT_FALSE(parse_resolution(bad)) << bad;
    }
    EXPECT_EQ(parse_pixel_type("bw"), 0);
    EXPECT_EQ(parse_pixel_type("gray"), 1);
    EXPECT_EQ(parse_pixel_type("rgb"), 2);
    EXPECT_FALSE(parse_pixel_type("RGB"));
    EXPECT_EQ(parse_bit_depth("16"), 16);
    for (const auto* bad : {"0", "65", "8.0", "-1", ""}) EXPECT_FALSE(parse_bit_depth(bad)) << bad;
    EXPECT_EQ(parse_mechanism("memory"), Mechanism::Memory);
    EXPECT_FALSE(parse_mechanism("buffered"));
    EXPECT_EQ(parse_file_format("png"), 7);
    EXPECT_EQ(parse_file_format("bmp"), 2);
    EXPECT_FALSE(parse_file_format("jpeg"));
    EXPECT_EQ(parse_count("-1"), -1);
    EXPECT_EQ(parse_count("32767"), 32767);
    for (const auto* bad : {"0", "-2", "32768", "two"}) EXPECT_FALSE(parse_count(bad)) << bad;
}

TEST(AcquireSettings, AnAreaIsFourEdgesOfANonEmptyFrame) {
    const auto area = parse_area("0.5,1,4.25,6");
    ASSERT_TRUE(area);
    EXPECT_EQ(area->left, 0.5);
    EXPECT_EQ(area->top, 1.0);
    EXPECT_EQ(area->right, 4.25);
    EXPECT_EQ(area->bottom, 6.0);
    for (const auto* bad : {"0,0,1", "0,0,1,1,1", "0,0,1,", ",0,1,1", "1,0,1,1", "0,2,1,1",
                            "-1,0,1,1", "0;0;1;1", "0,0,1,1x"}) {
        EXPECT_FALSE(parse_area(bad)) << bad;
    }
}

TEST(AcquireSettings, ImagesAreNumberedBeforeTheExtensionUnlessOneWasAskedFor) {
    EXPECT_EQ(image_file("/tmp/scan.tif", 1, 1), "/tmp/scan.tif");
    EXPECT_EQ(image_file("/tmp/scan.tif", 3, 2), "/tmp/scan-2.tif");
    EXPECT_EQ(image_file("/tmp/scan.tif", -1, 12), "/tmp/scan-12.tif");
    EXPECT_EQ(image_file("scans.d/page", 2, 1), "scans.d/page-1");
    EXPECT_EQ(image_file("page.v2.png", 2, 2), "page.v2-2.png");
}

}  // namespace
