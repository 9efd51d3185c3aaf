// Scans the test device makes harder: a document feeder that empties after ten pages, a hand
// scanner that does not know the height, a three-pass scanner, padded lines and short reads,
// errors injected into every read, and images skipped or abandoned halfway.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "tests/sane_backend/support/picture.hpp"
#include "tests/sane_backend/support/sane_world.hpp"
#include "tests/sane_backend/support/source_manager.hpp"

namespace {

using namespace twain;
using namespace sane_testing;

constexpr double kDpi = 75;

class Scanning : public ::testing::Test {
protected:
    void open(const std::vector<std::string>& test_conf, TW_UINT16 mechanism = TWSX_NATIVE) {
        world_.configure(test_conf);
        ASSERT_EQ(host_.open(), TWRC_SUCCESS) << host_.open_condition();
        ASSERT_EQ(host_.set(ICAP_XRESOLUTION, TWTY_FIX32, kDpi), TWRC_SUCCESS);
        ASSERT_EQ(host_.set(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
    }
    // A small page (20 mm square) where only the number of pages matters.
    void small_pages() {
        ASSERT_EQ(host_.set(ICAP_UNITS, TWTY_UINT16, TWUN_MILLIMETERS), TWRC_SUCCESS);
        ASSERT_EQ(host_.set_frame(ICAP_FRAMES, {to_fix32(0), to_fix32(0), to_fix32(20), to_fix32(20)}), TWRC_SUCCESS);
    }
    // Transfers and ends images until the source says none is left; the counts it gave.
    std::vector<TW_UINT16> take_all() {
        std::vector<TW_UINT16> counts;
        TW_UINT16 count = 1;
        while (count != 0 && counts.size() < 50) {
            const auto image = host_.native();
            EXPECT_EQ(image.rc, TWRC_XFERDONE) << "page " << counts.size() + 1 << " condition " << host_.condition();
            EXPECT_EQ(host_.end_transfer(&count), TWRC_SUCCESS);
            counts.push_back(count);
        }
        return counts;
    }

    SaneWorld world_;
    SourceManager host_;
};

TEST_F(Scanning, AFeederBatchOfUnknownLengthEndsNormallyWhenTheFeederIsEmpty) {
    open({});
    small_pages();
    ASSERT_EQ(host_.set(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    const auto counts = take_all();
    ASSERT_EQ(counts.size(), 10u) << "the test device's feeder holds ten pages";
    for (std::size_t page = 0; page + 1 < counts.size(); ++page) EXPECT_EQ(counts[page], 0xffff) << "unknown";
    EXPECT_EQ(counts.back(), 0);
    EXPECT_EQ(host_.disable(), TWRC_SUCCESS) << "state 5";
}

TEST_F(Scanning, AnEmptyFeederOnTheFirstPageIsNoMediaAndTheSourceStaysOpen) {
    open({});
    small_pages();
    ASSERT_EQ(host_.set(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
    // Exactly the ten pages the feeder holds: the batch ends without trying an eleventh.
    ASSERT_EQ(host_.set(CAP_XFERCOUNT, TWTY_INT16, 10), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    ASSERT_EQ(take_all().size(), 10u);
    ASSERT_EQ(host_.disable(), TWRC_SUCCESS);

    EXPECT_EQ(host_.enable(), TWRC_FAILURE);
    EXPECT_EQ(host_.condition(), TWCC_NOMEDIA);
    EXPECT_EQ(host_.set(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS) << "back in state 4";
    // The test device's feeder refills after its empty round.
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    EXPECT_EQ(take_all(), (std::vector<TW_UINT16>{1, 0}));
}

TEST_F(Scanning, TheTransferCountBoundsTheBatchOnFlatbedAndFeeder) {
    open({});
    small_pages();
    ASSERT_EQ(host_.set(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    EXPECT_EQ(take_all(), (std::vector<TW_UINT16>{2, 1, 0})) << "the flatbed scanned three times";
    ASSERT_EQ(host_.disable(), TWRC_SUCCESS);
    ASSERT_EQ(host_.set(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    EXPECT_EQ(take_all(), (std::vector<TW_UINT16>{2, 1, 0}));
}

TEST_F(Scanning, SkippingAnImageCancelsItsScanSoTheNextOneStarts) {
    // In colour (one pass) the test device refuses to start a scan while one is running.
    open({"mode Color"});
    small_pages();
    ASSERT_EQ(host_.set(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    TW_UINT16 count = 0;
    ASSERT_EQ(host_.end_transfer(&count), TWRC_SUCCESS) << "skipped in state 6";
    EXPECT_EQ(count, 2);
    // Abandoned after its first strip, in state 7.
    ASSERT_EQ(host_.set(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_FAILURE) << "not in state 6";
    std::vector<std::uint8_t> buffer(1000);
    TW_IMAGEMEMXFER strip{};
    strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
    EXPECT_EQ(host_.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE) << "native was negotiated";
    const auto image = host_.native();
    ASSERT_EQ(image.rc, TWRC_XFERDONE) << "condition " << host_.condition();
    ASSERT_EQ(host_.end_transfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(host_.reset_transfers(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(host_.disable(), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS) << "the reset cancelled the scan it had started";
    EXPECT_EQ(host_.native().rc, TWRC_XFERDONE);
}

TEST_F(Scanning, AMemoryTransferAbandonedHalfwayEndsWithItsScan) {
    open({"mode Color"}, TWSX_MEMORY);
    ASSERT_NE(host_.small_frame(), TWRC_FAILURE);
    ASSERT_EQ(host_.set(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    ASSERT_EQ(host_.enable(), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    ASSERT_EQ(host_.call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    ASSERT_GT(+info.ImageLength, 5);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(info.ImageWidth) * 3 * 5);
    TW_IMAGEMEMXFER strip{};
    strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
    ASSERT_EQ(host_.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_SUCCESS);
    EXPECT_EQ(+strip.Rows, 5u);
    TW_UINT16 count = 0;
    ASSERT_EQ(host_.end_transfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    const auto image = host_.memory();
    EXPECT_EQ(image.rc, TWRC_XFERDONE) << "condition " << host_.condition();
    EXPECT_EQ(+image.strips.front().YOffset, 0u) << "a new image from its first line";
}

// Errors the test device injects into every read ("read-status-code"), by mechanism.
struct Injected {
    const char* status;
    TW_UINT16 rc;
    TW_UINT16 condition;
};

void PrintTo(const Injected& injected, std::ostream* out) { *out << injected.status; }

const Injected injected_errors[] = {
    {"SANE_STATUS_JAMMED", TWRC_FAILURE, TWCC_PAPERJAM},
    {"SANE_STATUS_COVER_OPEN", TWRC_FAILURE, TWCC_INTERLOCK},
    {"SANE_STATUS_IO_ERROR", TWRC_FAILURE, TWCC_OPERATIONERROR},
    {"SANE_STATUS_NO_MEM", TWRC_FAILURE, TWCC_LOWMEMORY},
    {"SANE_STATUS_ACCESS_DENIED", TWRC_FAILURE, TWCC_DENIED},
    {"SANE_STATUS_DEVICE_BUSY", TWRC_FAILURE, TWCC_DENIED},
    {"SANE_STATUS_INVAL", TWRC_FAILURE, TWCC_BUMMER},
    {"SANE_STATUS_NO_DOCS", TWRC_FAILURE, TWCC_NOMEDIA},
    {"SANE_STATUS_EOF", TWRC_FAILURE, TWCC_OPERATIONERROR},  // a page without a single line
    {"SANE_STATUS_CANCELLED", TWRC_CANCEL, TWCC_SUCCESS},
};

class InjectedError : public ::testing::TestWithParam<std::tuple<Injected, TW_UINT16>> {};

TEST_P(InjectedError, EndsTheTransferWithItsCodeAndTheSourceGoesOn) {
    const auto [injected, mechanism] = GetParam();
    SaneWorld world({std::string("read-status-code ") + injected.status});
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_NE(host.small_frame(), TWRC_FAILURE);
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
    ASSERT_EQ(host.set(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS) << "the scan starts; its reads fail";
    const auto file = world.scratch() / "page.tif";
    const auto image = mechanism == TWSX_NATIVE   ? host.native()
                       : mechanism == TWSX_MEMORY ? host.memory()
                                                  : host.file(file, TWFF_TIFF);
    EXPECT_EQ(image.rc, injected.rc);
    EXPECT_EQ(image.condition, injected.condition);
    EXPECT_TRUE(image.bytes.empty());
    EXPECT_TRUE(std::filesystem::is_empty(world.scratch())) << "no file, not even a partial one";

    // The application ends that image; the next one fails the same way; then the batch is over.
    TW_UINT16 count = 0;
    ASSERT_EQ(host.end_transfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(host.native().rc == TWRC_XFERDONE, false);
    ASSERT_EQ(host.end_transfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(host.disable(), TWRC_SUCCESS);
    EXPECT_EQ(host.close(), TWRC_SUCCESS);
    EXPECT_EQ(host.live_allocations(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Scanning, InjectedError,
                         ::testing::Combine(::testing::ValuesIn(injected_errors),
                                            ::testing::Values(TWSX_NATIVE, TWSX_MEMORY, TWSX_FILE)),
                         [](const ::testing::TestParamInfo<std::tuple<Injected, TW_UINT16>>& param) {
                             const auto mechanism = std::get<1>(param.param);
                             return std::string(std::get<0>(param.param).status + 12) + "_" +
                                    (mechanism == TWSX_NATIVE   ? "native"
                                     : mechanism == TWSX_MEMORY ? "memory"
                                                                : "file");
                         });

// A hand scanner (110 mm wide, 170 mm long, the height unknown until the end), by each way.
class HandScanner : public ::testing::TestWithParam<TW_UINT16> {};

constexpr int kHandWidth = static_cast<int>(kDpi * 110 / 25.4);
constexpr int kHandHeight = static_cast<int>(kDpi * 170 / 25.4);

TEST_P(HandScanner, TheHeightIsMinusOneUntilTheImageEnds) {
    const auto format = GetParam();
    SaneWorld world({"hand-scanner true", "test-picture \"Grid\""});
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, kDpi), TWRC_SUCCESS);
    const bool memory = format == 0xffff;
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, memory ? TWSX_MEMORY : TWSX_FILE), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    std::optional<Picture> picture;
    Transferred image;
    if (memory) {
        // Strips of exactly a third of the image: the third must be the last, not a fourth empty one.
        image = host.memory(static_cast<std::size_t>(kHandWidth) * (kHandHeight / 3));
        ASSERT_EQ(image.rc, TWRC_XFERDONE) << host.condition();
        ASSERT_EQ(image.strips.size(), 3u);
        EXPECT_EQ(+image.strips[2].YOffset, 2u * (kHandHeight / 3));
        picture = from_lines(image.bytes, image.info_after, false);
    } else {
        const auto path = world.scratch() / "hand";
        image = host.file(path, format);
        ASSERT_EQ(image.rc, TWRC_XFERDONE) << host.condition();
        picture = format == TWFF_TIFF  ? from_tiff(image.bytes)
                  : format == TWFF_PNG ? from_png(image.bytes)
                                       : from_bmp(image.bytes);
    }
    EXPECT_EQ(+image.info.ImageLength, -1);
    EXPECT_EQ(+image.info.ImageWidth, kHandWidth);
    EXPECT_EQ(+image.info_after.ImageLength, kHandHeight);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->height, kHandHeight);
    EXPECT_EQ(first_difference(*picture, Pattern::Grid, kDpi), "");
}

INSTANTIATE_TEST_SUITE_P(Scanning, HandScanner, ::testing::Values(0xffff, TWFF_TIFF, TWFF_PNG, TWFF_BMP),
                         [](const ::testing::TestParamInfo<TW_UINT16>& param) {
                             return std::string(param.param == 0xffff      ? "memory"
                                                : param.param == TWFF_TIFF ? "tiff"
                                                : param.param == TWFF_PNG  ? "png"
                                                                           : "bmp");
                         });

TEST(HandScannerNative, TheTiffHoldsTheWholeImage) {
    SaneWorld world({"hand-scanner true", "test-picture \"Grid\"", "mode Color"});
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, kDpi), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    const auto image = host.native();
    ASSERT_EQ(image.rc, TWRC_XFERDONE);
    const auto picture = from_tiff(image.bytes);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->height, kHandHeight);
    EXPECT_EQ(picture->channels, 3);
    EXPECT_EQ(first_difference(*picture, Pattern::Grid, kDpi), "");
}

// A three-pass scanner sends red, green and blue as three frames; the image is chunky RGB.
class ThreePass : public ::testing::TestWithParam<std::tuple<Pattern, int, TW_UINT16>> {};

TEST_P(ThreePass, FramesAreAssembledIntoTheColourPicture) {
    const auto [pattern, bits, mechanism] = GetParam();
    SaneWorld world(
        {"mode Color", "three-pass true", "three-pass-order GBR", "test-picture \"" + pattern_name(pattern) + "\""});
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, kDpi), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_BITDEPTH, TWTY_UINT16, bits), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
    ASSERT_EQ(host.set(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    for (int page = 1; page <= 2; ++page) {
        const auto image = mechanism == TWSX_NATIVE ? host.native() : host.memory(12345);
        ASSERT_EQ(image.rc, TWRC_XFERDONE) << "page " << page << " condition " << host.condition();
        const auto picture =
            mechanism == TWSX_NATIVE ? from_tiff(image.bytes) : from_lines(image.bytes, image.info, false);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->channels, 3);
        EXPECT_EQ(picture->depth, bits / 3);
        EXPECT_EQ(first_difference(*picture, pattern, kDpi), "") << "page " << page;
        TW_UINT16 count = 0;
        ASSERT_EQ(host.end_transfer(&count), TWRC_SUCCESS);
    }
}

INSTANTIATE_TEST_SUITE_P(Scanning, ThreePass,
                         ::testing::Combine(::testing::Values(Pattern::Grid, Pattern::ColorPattern),
                                            ::testing::Values(24, 48), ::testing::Values(TWSX_NATIVE, TWSX_MEMORY)),
                         [](const ::testing::TestParamInfo<std::tuple<Pattern, int, TW_UINT16>>& param) {
                             return std::string(std::get<0>(param.param) == Pattern::Grid ? "grid" : "colour") + "_" +
                                    std::to_string(std::get<1>(param.param)) + "_" +
                                    (std::get<2>(param.param) == TWSX_NATIVE ? "native" : "memory");
                         });

// Lines padded past their pixels (ppl-loss) and reads cut into odd pieces (read-limit), with
// pictures whose every byte counts.
class ReadShapes : public ::testing::TestWithParam<std::tuple<std::vector<std::string>, TW_UINT16>> {};

TEST_P(ReadShapes, TheLinesComeOutWhole) {
    const auto& [test_conf, mechanism] = GetParam();
    auto conf = test_conf;
    conf.push_back("test-picture \"Color pattern\"");
    SaneWorld world(conf);
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, kDpi), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    const auto image = mechanism == TWSX_NATIVE ? host.native() : host.memory(4321);
    ASSERT_EQ(image.rc, TWRC_XFERDONE) << host.condition();
    const auto picture = mechanism == TWSX_NATIVE ? from_tiff(image.bytes) : from_lines(image.bytes, image.info, false);
    ASSERT_TRUE(picture);
    const bool padded = test_conf.front().rfind("ppl-loss", 0) == 0;
    EXPECT_EQ(picture->width, padded ? 590 - 5 : 590);
    EXPECT_EQ(picture->height, 590);
    EXPECT_EQ(first_difference(*picture, Pattern::ColorPattern, kDpi), "");
}

INSTANTIATE_TEST_SUITE_P(
    Scanning, ReadShapes,
    ::testing::Combine(::testing::Values(std::vector<std::string>{"ppl-loss 5"},
                                         std::vector<std::string>{"ppl-loss 5", "mode Color"},
                                         std::vector<std::string>{"read-limit true", "read-limit-size 7"},
                                         std::vector<std::string>{"read-limit true", "read-limit-size 7", "depth 1"},
                                         std::vector<std::string>{"read-limit true", "read-limit-size 3", "depth 16"}),
                       ::testing::Values(TWSX_NATIVE, TWSX_MEMORY)),
    [](const ::testing::TestParamInfo<std::tuple<std::vector<std::string>, TW_UINT16>>& param) {
        std::string name;
        for (const auto& line : std::get<0>(param.param)) name += line + "_";
        name += std::get<1>(param.param) == TWSX_NATIVE ? "native" : "memory";
        for (auto& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

}  // namespace
