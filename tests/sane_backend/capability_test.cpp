// Capability negotiation over the test device's options and the scanner bundle's defaults: the
// containers each capability answers in, the defaults, values that are set, approached or
// refused, and the layout that frames, paper sizes and DAT_IMAGELAYOUT share.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/sane_backend/support/sane_world.hpp"
#include "tests/sane_backend/support/source_manager.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"

namespace {

using namespace twain;
using namespace sane_testing;

bool contains(const std::vector<double>& items, double value) {
    return std::find(items.begin(), items.end(), value) != items.end();
}

class Capabilities : public ::testing::Test {
protected:
    void open(const std::vector<std::string>& test_conf = {}) {
        world_.configure(test_conf);
        ASSERT_EQ(host_.open(), TWRC_SUCCESS) << host_.open_condition();
    }
    SaneWorld world_;
    SourceManager host_;
};

TEST_F(Capabilities, EveryListedCapabilityAnswersEveryQueryInItsContainerAndTheMemoryIsTheApplications) {
    open();
    const auto listed = host_.get(CAP_SUPPORTEDCAPS);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->container, TWON_ARRAY);
    for (const auto required :
         {CAP_XFERCOUNT,     CAP_SUPPORTEDCAPS,    CAP_UICONTROLLABLE,  CAP_DEVICEONLINE,    ICAP_COMPRESSION,
          ICAP_PIXELTYPE,    ICAP_BITDEPTH,        ICAP_BITORDER,       ICAP_UNITS,          ICAP_XRESOLUTION,
          ICAP_YRESOLUTION,  ICAP_PHYSICALWIDTH,   ICAP_PHYSICALHEIGHT, ICAP_XFERMECH,       ICAP_PLANARCHUNKY,
          ICAP_PIXELFLAVOR,  ICAP_IMAGEFILEFORMAT, ICAP_FRAMES,         ICAP_SUPPORTEDSIZES, CAP_INDICATORS,
          CAP_FEEDERENABLED, CAP_FEEDERLOADED,     CAP_AUTOFEED}) {
        EXPECT_TRUE(contains(listed->items, required)) << std::hex << required;
    }
    for (const double cap : listed->items) {
        const auto id = static_cast<TW_UINT16>(cap);
        for (const auto message : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_QUERYSUPPORT}) {
            const auto value = host_.get(id, message);
            ASSERT_TRUE(value) << std::hex << id << " message " << message << " condition " << host_.condition();
            if (message == MSG_QUERYSUPPORT) {
                EXPECT_EQ(value->item_type, TWTY_INT32);
                EXPECT_TRUE(static_cast<int>(value->items.at(0)) & TWQC_GET);
            } else if (message != MSG_GET && id != CAP_SUPPORTEDCAPS) {
                EXPECT_EQ(value->container, TWON_ONEVALUE) << std::hex << id;
            }
        }
    }
    EXPECT_EQ(host_.live_allocations(), 0u);
    EXPECT_GT(host_.allocations(), 4 * listed->items.size() - 1);
    EXPECT_FALSE(host_.get(ICAP_JPEGQUALITY));
    EXPECT_EQ(host_.condition(), TWCC_CAPUNSUPPORTED);
}

TEST_F(Capabilities, ContainersAndDefaultsOfTheRequiredOnes) {
    open();
    const auto types = host_.get(ICAP_PIXELTYPE);
    ASSERT_TRUE(types);
    EXPECT_EQ(types->container, TWON_ENUMERATION);
    EXPECT_EQ(types->items, (std::vector<double>{TWPT_BW, TWPT_GRAY, TWPT_RGB}));
    EXPECT_EQ(types->items.at(types->current), TWPT_GRAY) << "the device's mode (Gray, depth 8)";
    EXPECT_EQ(host_.get(ICAP_BITDEPTH)->items, (std::vector<double>{8, 16}));
    EXPECT_EQ(host_.current(ICAP_BITDEPTH), 8);
    EXPECT_EQ(host_.current(CAP_XFERCOUNT), -1);
    EXPECT_EQ(host_.current(CAP_UICONTROLLABLE), 1);
    EXPECT_EQ(host_.current(CAP_DEVICEONLINE), 1);
    EXPECT_EQ(host_.current(ICAP_XFERMECH), TWSX_NATIVE);
    EXPECT_EQ(host_.get(ICAP_XFERMECH)->items, (std::vector<double>{TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}));
    EXPECT_EQ(host_.current(ICAP_PIXELFLAVOR), TWPF_CHOCOLATE);
    EXPECT_EQ(host_.current(ICAP_COMPRESSION), TWCP_NONE);
    EXPECT_EQ(host_.current(ICAP_BITORDER), TWBO_MSBFIRST);
    EXPECT_EQ(host_.current(ICAP_PLANARCHUNKY), TWPC_CHUNKY);
    EXPECT_EQ(host_.current(ICAP_UNITS), TWUN_INCHES);
    EXPECT_EQ(host_.get(ICAP_IMAGEFILEFORMAT)->items, (std::vector<double>{TWFF_TIFF, TWFF_BMP, TWFF_PNG}));
    // The test device's area is 200 mm square.
    EXPECT_NEAR(host_.current(ICAP_PHYSICALWIDTH), 200 / 25.4, 1e-4);
    EXPECT_NEAR(host_.current(ICAP_PHYSICALHEIGHT), 200 / 25.4, 1e-4);
    // The scanner bundle's resolutions, where the device (1 to 1200 dpi) allows them, and its
    // default resolution, the string "150".
    const auto resolutions = host_.get(ICAP_XRESOLUTION);
    ASSERT_TRUE(resolutions);
    EXPECT_EQ(resolutions->container, TWON_ENUMERATION);
    EXPECT_EQ(resolutions->item_type, TWTY_FIX32);
    EXPECT_EQ(resolutions->items, (std::vector<double>{75, 150, 300, 600, 1200}));
    EXPECT_EQ(resolutions->items.at(resolutions->current), 150);
    EXPECT_EQ(resolutions->items.at(resolutions->default_index), 150);
    EXPECT_EQ(host_.current(ICAP_YRESOLUTION), 150);
}

TEST_F(Capabilities, ResolutionsTheScannerBundleListsButTheDeviceRefusesAreLeftOut) {
    open({"resolution_max 400"});
    EXPECT_EQ(host_.get(ICAP_XRESOLUTION)->items, (std::vector<double>{75, 150, 300}));
}

TEST(CapabilityDefaults, WithoutAScannerBundleTheDevicesRangeAndItsNearestResolutionCount) {
    // No Info.plist: the dictionary has neither resolutions nor a default resolution, and its
    // fixed dKeyResolution 300 lies outside this device's range, whose own default
    // (0.00076 dpi, the test device's) lies below it: the nearest allowed value is 1 dpi.
    SaneWorld world({"resolution_max 200"});
    std::filesystem::remove_all(twain_testing::scanner_bundle_path(world.environment().root()));
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    const auto resolutions = host.get(ICAP_XRESOLUTION);
    ASSERT_TRUE(resolutions);
    EXPECT_EQ(resolutions->container, TWON_RANGE);
    EXPECT_EQ(resolutions->items, (std::vector<double>{1, 200, 1, 1, 1})) << "min max step default current";
}

TEST(CapabilityDefaults, WithoutAScannerBundleTheDictionarysResolutionIsTakenWhereAllowed) {
    SaneWorld world;
    std::filesystem::remove_all(twain_testing::scanner_bundle_path(world.environment().root()));
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    EXPECT_EQ(host.get(ICAP_XRESOLUTION)->items, (std::vector<double>{1, 1200, 1, 300, 300}));
    EXPECT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, 301.5), TWRC_CHECKSTATUS) << "steps of 1 dpi";
    EXPECT_EQ(host.current(ICAP_XRESOLUTION), 301);
}

TEST_F(Capabilities, TheDevicesModeAndDepthAreTheDefaultPixelType) {
    open({"mode Color", "depth 16"});
    EXPECT_EQ(host_.current(ICAP_PIXELTYPE), TWPT_RGB);
    EXPECT_EQ(host_.current(ICAP_BITDEPTH), 48);
    EXPECT_EQ(host_.get(ICAP_BITDEPTH, MSG_GETDEFAULT)->items.at(0), 48);
}

TEST_F(Capabilities, ResolutionsInTheListAreSetOthersApproachedOrRefused) {
    open();
    EXPECT_EQ(host_.set(ICAP_XRESOLUTION, TWTY_FIX32, 600), TWRC_SUCCESS);
    EXPECT_EQ(host_.current(ICAP_XRESOLUTION), 600);
    EXPECT_EQ(host_.current(ICAP_YRESOLUTION), 600) << "one SANE option carries both directions";
    EXPECT_EQ(host_.set(ICAP_YRESOLUTION, TWTY_FIX32, 100), TWRC_CHECKSTATUS);
    EXPECT_EQ(host_.current(ICAP_YRESOLUTION), 75) << "the nearest in the list";
    EXPECT_EQ(host_.set(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS) << "an integer stands for a number";
    EXPECT_EQ(host_.current(ICAP_XRESOLUTION), 300);
    for (const double outside : {5000.0, 50.0, -75.0, 0.0}) {
        EXPECT_EQ(host_.set(ICAP_XRESOLUTION, TWTY_FIX32, outside), TWRC_FAILURE) << outside;
        EXPECT_EQ(host_.condition(), TWCC_BADVALUE);
        EXPECT_EQ(host_.current(ICAP_XRESOLUTION), 300) << "unchanged";
    }
    EXPECT_EQ(host_.get(ICAP_XRESOLUTION, MSG_RESET)->items.at(0), 150);
}

TEST_F(Capabilities, PixelTypeAndBitDepthGoTogether) {
    open();
    ASSERT_EQ(host_.set(ICAP_BITDEPTH, TWTY_UINT16, 16), TWRC_SUCCESS);
    ASSERT_EQ(host_.set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    EXPECT_EQ(host_.current(ICAP_BITDEPTH), 24) << "a new pixel type starts at its default depth";
    EXPECT_EQ(host_.get(ICAP_BITDEPTH)->items, (std::vector<double>{24, 48}));
    for (const double wrong : {8.0, 16.0, 32.0}) {
        EXPECT_EQ(host_.set(ICAP_BITDEPTH, TWTY_UINT16, wrong), TWRC_FAILURE) << wrong;
        EXPECT_EQ(host_.condition(), TWCC_BADVALUE);
    }
    ASSERT_EQ(host_.set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    EXPECT_EQ(host_.get(ICAP_BITDEPTH)->items, (std::vector<double>{1}));
    for (const double absent : {double{TWPT_PALETTE}, double{TWPT_CMYK}, 99.0}) {
        EXPECT_EQ(host_.set(ICAP_PIXELTYPE, TWTY_UINT16, absent), TWRC_FAILURE);
        EXPECT_EQ(host_.condition(), TWCC_BADVALUE);
    }
    EXPECT_EQ(host_.current(ICAP_PIXELTYPE), TWPT_BW);
}

TEST_F(Capabilities, OnlyOneValueCapabilitiesRefuseEveryOtherValue) {
    open();
    const std::pair<TW_UINT16, double> refused[] = {{ICAP_COMPRESSION, TWCP_GROUP4},
                                                    {ICAP_BITORDER, TWBO_LSBFIRST},
                                                    {ICAP_PLANARCHUNKY, TWPC_PLANAR},
                                                    {ICAP_XFERMECH, TWSX_MEMFILE},
                                                    {ICAP_UNITS, 7},
                                                    {ICAP_PIXELFLAVOR, 2},
                                                    {ICAP_IMAGEFILEFORMAT, TWFF_JFIF},
                                                    {CAP_XFERCOUNT, 0},
                                                    {CAP_XFERCOUNT, -2},
                                                    {CAP_AUTOFEED, 0}};
    for (const auto& [cap, value] : refused) {
        EXPECT_EQ(host_.set(cap, cap == CAP_XFERCOUNT ? TWTY_INT16 : TWTY_UINT16, value), TWRC_FAILURE)
            << std::hex << cap << " " << value;
        EXPECT_EQ(host_.condition(), TWCC_BADVALUE);
    }
    for (const auto read_only :
         {CAP_UICONTROLLABLE, CAP_DEVICEONLINE, ICAP_PHYSICALWIDTH, CAP_SUPPORTEDCAPS, CAP_FEEDERLOADED}) {
        EXPECT_EQ(host_.set(read_only, TWTY_BOOL, 1), TWRC_FAILURE);
        EXPECT_EQ(host_.condition(), TWCC_CAPBADOPERATION);
    }
}

TEST_F(Capabilities, TurningIndicatorsOffIsTakenAndTheSessionGoesOn) {
    open();
    EXPECT_EQ(host_.set(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
    EXPECT_EQ(host_.current(CAP_INDICATORS), 0);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    EXPECT_EQ(host_.native().rc, TWRC_XFERDONE);
}

TEST_F(Capabilities, SettingIsForStateFourAndResetAllRestoresEverything) {
    open();
    ASSERT_NE(host_.small_frame(), TWRC_FAILURE);
    ASSERT_EQ(host_.set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    ASSERT_EQ(host_.set(ICAP_UNITS, TWTY_UINT16, TWUN_MILLIMETERS), TWRC_SUCCESS);
    ASSERT_EQ(host_.set(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    EXPECT_EQ(host_.set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_FAILURE);
    EXPECT_EQ(host_.condition(), TWCC_SEQERROR);
    EXPECT_FALSE(host_.get(ICAP_PIXELTYPE, MSG_RESET));
    EXPECT_EQ(host_.current(ICAP_PIXELTYPE), TWPT_RGB) << "asking is allowed in state 6";
    ASSERT_EQ(host_.reset_transfers(), TWRC_SUCCESS);
    ASSERT_EQ(host_.disable(), TWRC_SUCCESS);
    TW_CAPABILITY all{0, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(host_.call(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_SUCCESS);
    EXPECT_EQ(host_.current(ICAP_PIXELTYPE), TWPT_GRAY);
    EXPECT_EQ(host_.current(ICAP_UNITS), TWUN_INCHES);
    EXPECT_EQ(host_.current(CAP_XFERCOUNT), -1);
}

TEST_F(Capabilities, UnitsConvertTheFrameAndThePhysicalSize) {
    open();
    struct Expected {
        TW_UINT16 unit;
        double per_mm;
    };
    const Expected units[] = {{TWUN_MILLIMETERS, 1},    {TWUN_CENTIMETERS, 0.1}, {TWUN_INCHES, 1 / 25.4},
                              {TWUN_POINTS, 72 / 25.4}, {TWUN_PICAS, 6 / 25.4},  {TWUN_TWIPS, 1440 / 25.4},
                              {TWUN_PIXELS, 150 / 25.4}};
    for (const auto& [unit, per_mm] : units) {
        ASSERT_EQ(host_.set(ICAP_UNITS, TWTY_UINT16, unit), TWRC_SUCCESS);
        EXPECT_NEAR(host_.current(ICAP_PHYSICALWIDTH), 200 * per_mm, 200 * per_mm * 1e-4) << unit;
        const auto frame = host_.get(ICAP_FRAMES, MSG_GETCURRENT);
        ASSERT_TRUE(frame);
        ASSERT_EQ(frame->frames.size(), 1u);
        EXPECT_NEAR(from_fix32(frame->frames[0].Bottom), 200 * per_mm, 200 * per_mm * 1e-4) << unit;
    }
}

TEST_F(Capabilities, AFrameSnapsToTheDevicesStepsAndTheImageHasItsSize) {
    open();
    ASSERT_EQ(host_.set(ICAP_XRESOLUTION, TWTY_FIX32, 300), TWRC_SUCCESS);
    ASSERT_EQ(host_.set(ICAP_UNITS, TWTY_UINT16, TWUN_MILLIMETERS), TWRC_SUCCESS);
    const TW_FRAME exact{to_fix32(10), to_fix32(20), to_fix32(60), to_fix32(45)};
    EXPECT_EQ(host_.set_frame(ICAP_FRAMES, exact), TWRC_SUCCESS);
    // The test device takes whole millimetres.
    TW_IMAGELAYOUT layout{{to_fix32(10.4), to_fix32(20), to_fix32(60), to_fix32(45.6)}, 0, 0, 0};
    EXPECT_EQ(host_.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_CHECKSTATUS);
    EXPECT_EQ(from_fix32(layout.Frame.Left), 10) << "the frame set is written back";
    EXPECT_EQ(from_fix32(layout.Frame.Bottom), 46);
    EXPECT_EQ(host_.current(ICAP_SUPPORTEDSIZES), TWSS_NONE);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    ASSERT_EQ(host_.call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(+info.ImageWidth, static_cast<int>(300 * 50 / 25.4));
    EXPECT_EQ(+info.ImageLength, static_cast<int>(300 * 26 / 25.4));
    TW_IMAGELAYOUT during{};
    ASSERT_EQ(host_.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &during), TWRC_SUCCESS);
    EXPECT_EQ(+during.DocumentNumber, 1u);
    EXPECT_EQ(+during.PageNumber, 1u);
    EXPECT_EQ(+during.FrameNumber, 1u);
}

TEST_F(Capabilities, FramesBeyondTheAreaAreClippedAndEmptyOnesRefused) {
    open();
    TW_IMAGELAYOUT layout{{to_fix32(1), to_fix32(1), to_fix32(20), to_fix32(20)}, 0, 0, 0};
    EXPECT_EQ(host_.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_CHECKSTATUS);
    EXPECT_NEAR(from_fix32(layout.Frame.Right), 200 / 25.4, 1e-4);
    for (const TW_FRAME empty : {TW_FRAME{to_fix32(2), to_fix32(1), to_fix32(1), to_fix32(2)},
                                 TW_FRAME{to_fix32(9), to_fix32(9), to_fix32(10), to_fix32(10)}}) {
        EXPECT_EQ(host_.set_frame(ICAP_FRAMES, empty), TWRC_FAILURE);
        EXPECT_EQ(host_.condition(), TWCC_BADVALUE);
    }
    TW_IMAGELAYOUT fresh{};
    ASSERT_EQ(host_.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, &fresh), TWRC_SUCCESS);
    EXPECT_NEAR(from_fix32(fresh.Frame.Bottom), 200 / 25.4, 1e-4);
    EXPECT_EQ(from_fix32(fresh.Frame.Top), 0);
}

TEST_F(Capabilities, PaperSizesThatFitTheAreaSetTheFrame) {
    open();
    const auto sizes = host_.get(ICAP_SUPPORTEDSIZES);
    ASSERT_TRUE(sizes);
    EXPECT_TRUE(contains(sizes->items, TWSS_NONE));
    EXPECT_TRUE(contains(sizes->items, TWSS_A6));
    EXPECT_TRUE(contains(sizes->items, TWSS_BUSINESSCARD));
    EXPECT_FALSE(contains(sizes->items, TWSS_A4)) << "210 x 297 mm is larger than the 200 mm area";
    EXPECT_FALSE(contains(sizes->items, TWSS_USLETTER));
    EXPECT_EQ(host_.set(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A4), TWRC_FAILURE);
    ASSERT_EQ(host_.set(ICAP_UNITS, TWTY_UINT16, TWUN_MILLIMETERS), TWRC_SUCCESS);
    ASSERT_EQ(host_.set(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A6), TWRC_SUCCESS);
    const auto frame = host_.get(ICAP_FRAMES, MSG_GETCURRENT);
    ASSERT_TRUE(frame);
    EXPECT_EQ(from_fix32(frame->frames.at(0).Right), 105);
    EXPECT_EQ(from_fix32(frame->frames.at(0).Bottom), 148);
}

TEST_F(Capabilities, TheFeederIsOfferedWhereTheDeviceHasOneAndChosenByFeederEnabled) {
    open();
    EXPECT_EQ(host_.current(CAP_FEEDERENABLED), 0) << "the device starts on its flatbed";
    EXPECT_EQ(host_.current(CAP_FEEDERLOADED), 0);
    EXPECT_EQ(host_.current(CAP_AUTOFEED), 1);
    ASSERT_EQ(host_.set(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
    EXPECT_EQ(host_.current(CAP_FEEDERLOADED), 1);
    // Eleven pages from a feeder that empties after ten: the eleventh ends the batch.
    ASSERT_EQ(host_.set(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
    ASSERT_EQ(host_.set(CAP_XFERCOUNT, TWTY_INT16, 11), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    int pages = 0;
    TW_UINT16 count = 1;
    while (count != 0) {
        ASSERT_EQ(host_.native().rc, TWRC_XFERDONE) << "page " << pages + 1;
        ++pages;
        ASSERT_EQ(host_.end_transfer(&count), TWRC_SUCCESS);
    }
    EXPECT_EQ(pages, 10);
}

}  // namespace
