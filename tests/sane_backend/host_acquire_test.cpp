// Acquisitions end to end, as a Linux system runs them: twain-host --acquire plays the Source
// Manager and an application, loads the installed data source (velmora-q580n.ds) from its folder,
// which creates the backend from the bundle at its fixed path (a test folder bound at /Library in
// a private view), over SANE's test device. The image files it leaves are decoded and compared
// pixel by pixel with what the device draws.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sstream>

#include "tests/sane_backend/support/picture.hpp"
#include "tests/tools/twain_host/host_view.hpp"

namespace {

namespace fs = std::filesystem;
using namespace sane_testing;

std::vector<std::uint8_t> bytes_of(const fs::path& file) {
    const auto text = testing_support::read_file(file);
    return {text.begin(), text.end()};
}

std::optional<Picture> decode(const fs::path& file) {
    const auto bytes = bytes_of(file);
    const auto extension = file.extension();
    if (extension == ".png") return from_png(bytes);
    if (extension == ".bmp") return from_bmp(bytes);
    return from_tiff(bytes);
}

struct Acquisition {
    const char* name;
    Pattern pattern;
    std::vector<std::string> options;
    const char* file;
    const char* line;  // what twain-host prints after "FILE: "
    int channels;
    int depth;
};

void PrintTo(const Acquisition& acquisition, std::ostream* out) { *out << acquisition.name; }

// One acquisition per entry, packed.
// clang-format off
const Acquisition acquisitions[] = {
    {"grid_bw_native", Pattern::Grid, {"--pixel-type", "bw", "--transfer", "native"}, "page.tif",
     "590x590 bw 1-bit 75x75 dpi native", 1, 1},
    {"grid_gray8_memory", Pattern::Grid, {"--pixel-type", "gray", "--bit-depth", "8", "--transfer", "memory"},
     "page.tif", "590x590 gray 8-bit 75x75 dpi memory", 1, 8},
    {"colour_gray8_native", Pattern::ColorPattern, {"--pixel-type", "gray", "--transfer", "native"}, "page.tif",
     "590x590 gray 8-bit 75x75 dpi native", 1, 8},
    {"colour_gray16_memory", Pattern::ColorPattern,
     {"--pixel-type", "gray", "--bit-depth", "16", "--transfer", "memory"}, "page.tif",
     "590x590 gray 16-bit 75x75 dpi memory", 1, 16},
    {"colour_gray16_native", Pattern::ColorPattern,
     {"--pixel-type", "gray", "--bit-depth", "16", "--transfer", "native"}, "page.tif",
     "590x590 gray 16-bit 75x75 dpi native", 1, 16},
    {"colour_rgb24_memory", Pattern::ColorPattern, {"--pixel-type", "rgb", "--transfer", "memory"}, "page.tif",
     "590x590 rgb 24-bit 75x75 dpi memory", 3, 8},
    {"colour_rgb48_native", Pattern::ColorPattern,
     {"--pixel-type", "rgb", "--bit-depth", "48", "--transfer", "native"}, "page.tif",
     "590x590 rgb 48-bit 75x75 dpi native", 3, 16},
    {"colour_rgb48_file_png", Pattern::ColorPattern,
     {"--pixel-type", "rgb", "--bit-depth", "48", "--transfer", "file", "--file-format", "png"}, "page.png",
     "590x590 rgb 48-bit 75x75 dpi file", 3, 16},
    {"colour_rgb24_file_bmp", Pattern::ColorPattern,
     {"--pixel-type", "rgb", "--transfer", "file", "--file-format", "bmp"}, "page.bmp",
     "590x590 rgb 24-bit 75x75 dpi file", 3, 8},
    {"colour_bw_file_tiff", Pattern::ColorPattern,
     {"--pixel-type", "bw", "--transfer", "file", "--file-format", "tiff"}, "page.tif",
     "590x590 bw 1-bit 75x75 dpi file", 1, 1},
    {"grid_gray8_file_png_polling", Pattern::Grid,
     {"--pixel-type", "gray", "--transfer", "file", "--file-format", "png", "--poll"}, "page.png",
     "590x590 gray 8-bit 75x75 dpi file", 1, 8},
    {"grid_rgb24_memory_polling", Pattern::Grid, {"--pixel-type", "rgb", "--transfer", "memory", "--poll"},
     "page.tif", "590x590 rgb 24-bit 75x75 dpi memory", 3, 8},
};
// clang-format on

class HostAcquisition : public twain_host_testing::HostView, public ::testing::WithParamInterface<Acquisition> {
protected:
    void SetUp() override {
        HostView::SetUp();
        if (IsSkipped()) return;
        install_backend(SANE_BACKEND_BUNDLE);
    }
    twain_host_testing::Outcome acquire(const fs::path& file, const std::vector<std::string>& options) const {
        std::vector<std::string> command = {
            TWAIN_HOST, "--acquire", file.string(), "--folder", twain_folder_.string(), "--resolution", "75"};
        command.insert(command.end(), options.begin(), options.end());
        return run_in_view(command);
    }
};

TEST_P(HostAcquisition, ThePixelsAreTheDevicesPicture) {
    const auto& acquisition = GetParam();
    configure_sane({"number_of_devices 1", "test-picture \"" + pattern_name(acquisition.pattern) + "\""});
    const auto file = temp_ / acquisition.file;
    const auto outcome = acquire(file, acquisition.options);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, file.string() + ": " + acquisition.line + "\n");
    const auto picture = decode(file);
    ASSERT_TRUE(picture) << file;
    EXPECT_EQ(picture->width, 590);
    EXPECT_EQ(picture->height, 590);
    EXPECT_EQ(picture->channels, acquisition.channels);
    EXPECT_EQ(picture->depth, acquisition.depth);
    EXPECT_EQ(first_difference(*picture, acquisition.pattern, 75), "");
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, HostAcquisition, ::testing::ValuesIn(acquisitions),
                         [](const ::testing::TestParamInfo<Acquisition>& param) {
                             return std::string(param.param.name);
                         });

class HostBatches : public HostAcquisition {};

TEST_F(HostBatches, EveryPageOfTheFeederArrivesAndTheBatchEndsWithIt) {
    configure_sane({"number_of_devices 1", "test-picture \"Grid\""});
    const auto outcome = acquire(temp_ / "feed.png", {"--feeder", "--count", "-1", "--transfer", "file",
                                                      "--file-format", "png", "--area", "0,0,1,2"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::istringstream lines(outcome.out);
    int pages = 0;
    for (std::string line; std::getline(lines, line);) {
        ++pages;
        const auto file = temp_ / ("feed-" + std::to_string(pages) + ".png");
        EXPECT_EQ(line, file.string() + ": 73x150 gray 8-bit 75x75 dpi file") << "25 x 51 mm";
        const auto picture = decode(file);
        ASSERT_TRUE(picture) << file;
        EXPECT_EQ(first_difference(*picture, Pattern::Grid, 75), "") << file;
    }
    EXPECT_EQ(pages, 10) << "the test device's feeder holds ten pages";
}

TEST_F(HostBatches, AHandScannersImageArrivesWholeByEachMechanism) {
    configure_sane({"number_of_devices 1", "test-picture \"Grid\"", "hand-scanner true"});
    for (const char* transfer : {"native", "memory", "file"}) {
        SCOPED_TRACE(transfer);
        const auto file = temp_ / (std::string("hand-") + transfer + ".tif");
        const auto outcome = acquire(file, {"--transfer", transfer});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        // 110 mm wide; 170 mm long, which the device says only at the end.
        EXPECT_EQ(outcome.out, file.string() + ": 324x501 gray 8-bit 75x75 dpi " + transfer + "\n");
        const auto picture = decode(file);
        ASSERT_TRUE(picture);
        EXPECT_EQ(first_difference(*picture, Pattern::Grid, 75), "");
    }
}

TEST_F(HostBatches, AThreePassScannersFramesMakeTheColourImage) {
    configure_sane({"number_of_devices 1", "test-picture \"Color pattern\"", "mode Color", "three-pass true"});
    const auto file = temp_ / "three.tif";
    const auto outcome = acquire(file, {"--transfer", "memory", "--count", "2"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    for (const char* page : {"three-1.tif", "three-2.tif"}) {
        const auto picture = decode(temp_ / page);
        ASSERT_TRUE(picture) << page;
        EXPECT_EQ(picture->channels, 3);
        EXPECT_EQ(first_difference(*picture, Pattern::ColorPattern, 75), "") << page;
    }
}

TEST_F(HostBatches, AJamEndsTheAcquisitionWithThePaperJamCondition) {
    configure_sane({"number_of_devices 1", "read-status-code SANE_STATUS_JAMMED"});
    // A small area: the test device's reader has written it all before the source cancels.
    const auto outcome = acquire(temp_ / "jam.tif", {"--transfer", "memory", "--area", "0,0,0.2,0.2"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("TWCC_PAPERJAM"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(temp_ / "jam.tif"));
}

}  // namespace
