// Whole acquisitions through twain-source's DS_Entry and the backend over SANE's test device: the
// pixels of each of the device's pictures, in each pixel type and depth, by each mechanism and
// file format, compared pixel by pixel with what the device draws.

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <tuple>
#include <vector>

#include "tests/sane_backend/support/picture.hpp"
#include "tests/sane_backend/support/sane_world.hpp"
#include "tests/sane_backend/support/source_manager.hpp"

namespace {

using namespace twain;
using namespace sane_testing;

struct Kind {
    const char* name;
    TW_UINT16 pixel_type;
    int bit_depth;  // bits per pixel
    int channels;
    int depth;  // bits per sample
};

const Kind kinds[] = {
    {"bw", TWPT_BW, 1, 1, 1},      {"gray8", TWPT_GRAY, 8, 1, 8},  {"gray16", TWPT_GRAY, 16, 1, 16},
    {"rgb24", TWPT_RGB, 24, 3, 8}, {"rgb48", TWPT_RGB, 48, 3, 16},
};

enum class Way { Native, Memory, Tiff, Png, Bmp };
const Way ways[] = {Way::Native, Way::Memory, Way::Tiff, Way::Png, Way::Bmp};

const char* way_name(Way way) {
    switch (way) {
        case Way::Native: return "native";
        case Way::Memory: return "memory";
        case Way::Tiff: return "tiff";
        case Way::Png: return "png";
        case Way::Bmp: return "bmp";
    }
    return "";
}

constexpr double kDpi = 75;
// 200 mm square at 75 dpi: (int)(75 * 200 / 25.4) pixels each way.
constexpr int kSide = 590;

// Takes one image by the way given, decoded; the transfer's return code must be XFERDONE.
std::optional<Picture> take(SourceManager& host, Way way, const std::filesystem::path& folder, bool vanilla,
                            Transferred& image) {
    switch (way) {
        case Way::Native:
            image = host.native();
            return image.rc == TWRC_XFERDONE ? from_tiff(image.bytes) : std::nullopt;
        case Way::Memory:
            image = host.memory();
            if (image.rc != TWRC_XFERDONE) return std::nullopt;
            return from_lines(image.bytes, image.info_after, vanilla);
        case Way::Tiff:
            image = host.file(folder / "page.tif", TWFF_TIFF);
            return image.rc == TWRC_XFERDONE ? from_tiff(image.bytes) : std::nullopt;
        case Way::Png:
            image = host.file(folder / "page.png", TWFF_PNG);
            return image.rc == TWRC_XFERDONE ? from_png(image.bytes) : std::nullopt;
        case Way::Bmp:
            image = host.file(folder / "page.bmp", TWFF_BMP);
            return image.rc == TWRC_XFERDONE ? from_bmp(image.bytes) : std::nullopt;
    }
    return std::nullopt;
}

// Short names for the cases' parameters, in test names and messages.
void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.name; }
void PrintTo(Way way, std::ostream* out) { *out << way_name(way); }

// Every picture, kind and way, but BMP with 16-bit samples, which FileFormats covers.
std::vector<std::tuple<Pattern, Kind, Way>> all_cases() {
    std::vector<std::tuple<Pattern, Kind, Way>> cases;
    for (const auto pattern : {Pattern::SolidBlack, Pattern::SolidWhite, Pattern::Grid, Pattern::ColorPattern}) {
        for (const auto& kind : kinds) {
            for (const auto way : ways) {
                if (way != Way::Bmp || kind.depth != 16) cases.emplace_back(pattern, kind, way);
            }
        }
    }
    return cases;
}

TW_UINT16 mechanism_of(Way way) {
    return way == Way::Native ? TWSX_NATIVE : way == Way::Memory ? TWSX_MEMORY : TWSX_FILE;
}

using Case = std::tuple<Pattern, Kind, Way>;

class Pixels : public ::testing::TestWithParam<Case> {};

TEST_P(Pixels, AreWhatTheTestDeviceDrew) {
    const auto [pattern, kind, way] = GetParam();
    SaneWorld world({"test-picture \"" + pattern_name(pattern) + "\""});
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS) << host.open_condition();
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, mechanism_of(way)), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_PIXELTYPE, TWTY_UINT16, kind.pixel_type), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_BITDEPTH, TWTY_UINT16, kind.bit_depth), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, kDpi), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS) << host.condition();

    Transferred image;
    const auto picture = take(host, way, world.scratch(), false, image);
    ASSERT_TRUE(picture) << "rc " << image.rc << ", condition " << host.condition();
    EXPECT_EQ(+image.info.ImageWidth, kSide);
    EXPECT_EQ(+image.info.ImageLength, kSide);
    EXPECT_EQ(+image.info.PixelType, kind.pixel_type);
    EXPECT_EQ(+image.info.BitsPerPixel, kind.bit_depth);
    EXPECT_EQ(+image.info.SamplesPerPixel, kind.channels);
    EXPECT_EQ(+image.info.BitsPerSample[0], kind.depth);
    EXPECT_EQ(from_fix32(image.info.XResolution), kDpi);
    EXPECT_EQ(from_fix32(image.info.YResolution), kDpi);
    EXPECT_EQ(picture->width, kSide);
    EXPECT_EQ(picture->height, kSide);
    EXPECT_EQ(picture->channels, kind.channels);
    EXPECT_EQ(picture->depth, kind.depth);
    if (way != Way::Memory) {
        EXPECT_NEAR(picture->x_dpi, kDpi, 0.01);
        EXPECT_NEAR(picture->y_dpi, kDpi, 0.01);
    }
    EXPECT_EQ(first_difference(*picture, pattern, kDpi), "");

    TW_UINT16 count = 9;
    EXPECT_EQ(host.end_transfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0) << "a flatbed holds one page";
    EXPECT_EQ(host.disable(), TWRC_SUCCESS);
    EXPECT_EQ(host.close(), TWRC_SUCCESS);
    EXPECT_EQ(host.live_allocations(), 0u) << "everything the application frees came from its Source Manager";
}

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    const auto [pattern, kind, way] = info.param;
    std::string name = pattern_name(pattern) + "_" + kind.name + "_" + way_name(way);
    for (auto& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Acquisition, Pixels, ::testing::ValuesIn(all_cases()), case_name);

// Vanilla turns black-and-white and grey data around (0 is white); every image format still
// shows black as black.
class Vanilla : public ::testing::TestWithParam<std::tuple<Kind, Way>> {};

TEST_P(Vanilla, DataHasZeroAsWhiteAndImagesStillShowTheGrid) {
    const auto [kind, way] = GetParam();
    SaneWorld world({"test-picture \"Grid\""});
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_VANILLA), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, mechanism_of(way)), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_PIXELTYPE, TWTY_UINT16, kind.pixel_type), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_BITDEPTH, TWTY_UINT16, kind.bit_depth), TWRC_SUCCESS);
    ASSERT_EQ(host.set(ICAP_XRESOLUTION, TWTY_FIX32, kDpi), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    Transferred image;
    const auto picture = take(host, way, world.scratch(), true, image);
    ASSERT_TRUE(picture) << "rc " << image.rc << ", condition " << host.condition();
    EXPECT_EQ(first_difference(*picture, Pattern::Grid, kDpi), "");
    if (way == Way::Memory) {
        // The raw data: the grid's top left square is white, so 0.
        EXPECT_EQ(image.bytes.at(0), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Acquisition, Vanilla,
                         ::testing::Values(std::tuple{kinds[0], Way::Native}, std::tuple{kinds[0], Way::Memory},
                                           std::tuple{kinds[0], Way::Tiff}, std::tuple{kinds[0], Way::Png},
                                           std::tuple{kinds[0], Way::Bmp}, std::tuple{kinds[1], Way::Native},
                                           std::tuple{kinds[1], Way::Memory}, std::tuple{kinds[1], Way::Tiff},
                                           std::tuple{kinds[1], Way::Png}, std::tuple{kinds[1], Way::Bmp},
                                           std::tuple{kinds[2], Way::Native}, std::tuple{kinds[2], Way::Memory},
                                           std::tuple{kinds[2], Way::Tiff}, std::tuple{kinds[2], Way::Png}),
                         [](const ::testing::TestParamInfo<std::tuple<Kind, Way>>& param) {
                             return std::string(std::get<0>(param.param).name) + "_" +
                                    way_name(std::get<1>(param.param));
                         });

}  // namespace
