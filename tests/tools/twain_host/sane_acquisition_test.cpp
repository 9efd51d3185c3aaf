// Whole acquisitions through twain-source and the SANE backend, with SANE's test device: the
// Source Manager's sequence as twain-host plays it, once with a callback and once polling, a
// failed open, nested calls, and the Source Manager's memory all freed. (The pixels, by every
// mechanism, pixel type and depth, are the backend's tests.)

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <memory>

#include "tests/tools/twain_host/host_view.hpp"

namespace {

namespace fs = std::filesystem;
using twain_host_testing::find_line;
using twain_host_testing::lines_of;

class SaneAcquisitionTest : public twain_host_testing::HostView {
protected:
    void SetUp() override {
        HostView::SetUp();
        if (IsSkipped()) return;
        install_backend(SANE_BACKEND_BUNDLE);
        // One device, drawing a grid in gray, over a small area so that the scans are quick.
        configure_sane({"number_of_devices 1", "test-picture \"Grid\""});
    }

    std::vector<std::string> acquire(const std::vector<std::string>& options) const {
        std::vector<std::string> command = {
            TWAIN_HOST, "--acquire",    image_.string(), "--folder", twain_folder_.string(),
            "--trace",  trace_.string()};
        command.insert(command.end(), options.begin(), options.end());
        return command;
    }

    // The trace line that starts with the text, after the line `from`; fails the test when none.
    std::ptrdiff_t expect_line(const std::string& start, std::ptrdiff_t from = -1) const {
        const auto at = find_line(lines_, start, from + 1);
        EXPECT_GE(at, 0) << "no line \"" << start << "\" after line " << from;
        return at;
    }

    fs::path image_ = temp_ / "page.tif";
    fs::path trace_ = temp_ / "trace.txt";
    std::vector<std::string> lines_;
    const std::string app_ = "#1 \"twain-host\" ";
};

TEST_F(SaneAcquisitionTest, TheSourceManagersSequenceWithACallbackAndPolling) {
    for (const bool poll : {false, true}) {
        SCOPED_TRACE(poll ? "polling" : "with a callback");
        fs::remove(image_);
        // Five inches are 127 mm, a whole number of the test device's steps: the frame is taken as
        // is.
        auto command = acquire({"--resolution", "10", "--pixel-type", "gray", "--bit-depth", "8",
                                "--transfer", "native", "--area", "0,0,5,5"});
        if (poll) command.push_back("--poll");
        const auto acquired = run_in_view(command);
        ASSERT_EQ(acquired.status, 0) << acquired.err;
        EXPECT_EQ(acquired.out, image_.string() + ": 50x50 gray 8-bit 10x10 dpi native\n");
        EXPECT_EQ(acquired.err, "");
        lines_ = lines_of(trace_);
        const auto ds = data_source().string();

        // Listed with a null origin; asked again with the application's identity, reloaded, and
        // handed the entry points before it opens, since it answers with DF_DS2.
        auto at = expect_line("load " + ds);
        EXPECT_EQ(lines_.at(static_cast<std::size_t>(at) + 1),
                  "dsm->ds null DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)");
        at = expect_line("unload " + ds, at);
        at = expect_line("dsm->ds " + app_ + "DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)",
                         at);
        at = expect_line("unload " + ds, at);
        at = expect_line("load " + ds, at);
        EXPECT_EQ(lines_.at(static_cast<std::size_t>(at) + 1),
                  "dsm->ds " + app_ + "DG_CONTROL/DAT_ENTRYPOINT/MSG_SET -> TWRC_SUCCESS (0)");
        at = expect_line(
            "dsm->ds " + app_ + "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS -> TWRC_SUCCESS (0)", at);
        const auto registered = find_line(
            lines_, "app->dsm " + app_ +
                        "DG_CONTROL/DAT_CALLBACK/MSG_REGISTER_CALLBACK -> TWRC_SUCCESS (0)");
        EXPECT_EQ(registered >= 0, !poll);

        // The negotiation, in order, each taken.
        for (const auto* capability :
             {"CAP_XFERCOUNT", "ICAP_XFERMECH", "ICAP_PIXELTYPE", "ICAP_BITDEPTH", "ICAP_UNITS",
              "ICAP_XRESOLUTION", "ICAP_YRESOLUTION"}) {
            SCOPED_TRACE(capability);
            at = expect_line("app->ds " + app_ + "DG_CONTROL/DAT_CAPABILITY/MSG_SET " + capability +
                                 " -> TWRC_SUCCESS (0)",
                             at);
        }
        at = expect_line("app->ds " + app_ + "DG_IMAGE/DAT_IMAGELAYOUT/MSG_SET -> TWRC_SUCCESS (0)",
                         at);
        at = expect_line(
            "app->ds " + app_ + "DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS -> TWRC_SUCCESS (0)",
            at);

        // The source's MSG_XFERREADY reaches the application by its callback; polling, it is the
        // answer to a poll, the source's own or, when the source sent DAT_NULL, the Source
        // Manager's.
        const auto ready = find_line(
            lines_,
            "ds->dsm #1 \"Velmora Q580n\" DG_CONTROL/DAT_NULL/MSG_XFERREADY -> TWRC_SUCCESS (0)");
        const auto called_back = find_line(
            lines_,
            "dsm->app #1 \"Velmora Q580n\" DG_CONTROL/DAT_NULL/MSG_XFERREADY -> TWRC_SUCCESS (0)");
        const auto polled = std::max(
            find_line(lines_, "app->ds " + app_ +
                                  "DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT -> TWRC_DSEVENT (4)"),
            find_line(lines_, "app->dsm " + app_ +
                                  "DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT -> TWRC_DSEVENT (4)"));
        if (poll) {
            EXPECT_EQ(called_back, -1);
            EXPECT_GT(polled, at);
        } else {
            EXPECT_GE(ready, 0);
            EXPECT_GT(called_back, ready);
            EXPECT_EQ(
                find_line(lines_, "app->ds " + app_ + "DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT"), -1);
        }
        at = expect_line("app->ds " + app_ + "DG_IMAGE/DAT_IMAGEINFO/MSG_GET -> TWRC_SUCCESS (0)",
                         at);
        at = expect_line(
            "app->ds " + app_ + "DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET -> TWRC_XFERDONE (6)", at);
        at = expect_line(
            "app->ds " + app_ + "DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER -> TWRC_SUCCESS (0)", at);
        at = expect_line(
            "app->ds " + app_ + "DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS -> TWRC_SUCCESS (0)",
            at);
        at = expect_line(
            "dsm->ds " + app_ + "DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS -> TWRC_SUCCESS (0)", at);
        at = expect_line("unload " + ds, at);
        at = expect_line(
            "app->dsm " + app_ + "DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM -> TWRC_SUCCESS (0)", at);
        // The native image's handle came from the Source Manager's memory and went back to it.
        const auto& memory = lines_.back();
        EXPECT_EQ(memory.find("memory: 0 allocated"), std::string::npos) << memory;
        EXPECT_NE(memory.find(" 0 left (0 bytes), 0 frees refused, 0 locks refused"),
                  std::string::npos)
            << memory;

        std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(image_.c_str(), "r"), TIFFClose);
        ASSERT_TRUE(tiff);
        std::uint32_t width = 0, height = 0;
        TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
        EXPECT_EQ(width, 50u);
        EXPECT_EQ(height, 50u);
    }
}

TEST_F(SaneAcquisitionTest, AFailedOpenIsExplainedByTheSourcesStatus) {
    configure_sane({}, false);  // SANE finds no device at all
    const auto acquired = run_in_view(acquire({}));
    EXPECT_EQ(acquired.status, 1);
    EXPECT_EQ(acquired.err,
              "twain-host: DG_CONTROL/DAT_IDENTITY/MSG_OPENDS -> TWRC_FAILURE (1), "
              "TWCC_CHECKDEVICEONLINE (23)\n");
    EXPECT_FALSE(fs::exists(image_));
    lines_ = lines_of(trace_);
    // The Source Manager asks the source why, right away, keeps the answer for the application
    // and unloads the source.
    auto at =
        expect_line("dsm->ds " + app_ + "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS -> TWRC_FAILURE (1)");
    EXPECT_EQ(lines_.at(static_cast<std::size_t>(at) + 1),
              "dsm->ds " + app_ + "DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)");
    EXPECT_EQ(lines_.at(static_cast<std::size_t>(at) + 2), "unload " + data_source().string());
    at = expect_line("app->dsm " + app_ + "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS -> TWRC_FAILURE (1)",
                     at);
    expect_line("app->dsm " + app_ + "DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)", at);
    EXPECT_EQ(find_line(lines_, "dsm->ds " + app_ + "DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS"), -1);
}

TEST_F(SaneAcquisitionTest, NestedCallsFromTheCallbackAreRefusedBeforeTheyReachTheSource) {
    const auto run = run_in_view({NESTED_CALL_APPLICATION, data_source().string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "nested DG_CONTROL/DAT_PENDINGXFERS/MSG_GET -> TWRC_FAILURE (1), TWCC_SEQERROR (11)\n"
              "nested DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT -> TWRC_NOTDSEVENT (5), message 0x0\n"
              "after DG_CONTROL/DAT_PENDINGXFERS/MSG_GET -> TWRC_SUCCESS (0), count 1\n");
}

TEST_F(SaneAcquisitionTest, EveryMechanismLeavesTheSourceManagersMemoryAsItFoundIt) {
    for (const auto* mechanism : {"native", "memory", "file"}) {
        SCOPED_TRACE(mechanism);
        fs::remove(image_);
        const auto acquired = run_in_view(acquire({"--resolution", "10", "--pixel-type", "rgb",
                                                   "--transfer", mechanism, "--area", "0,0,5,5"}));
        ASSERT_EQ(acquired.status, 0) << acquired.err;
        EXPECT_EQ(acquired.out,
                  image_.string() + ": 50x50 rgb 24-bit 10x10 dpi " + mechanism + "\n");
        EXPECT_TRUE(fs::is_regular_file(image_));
        lines_ = lines_of(trace_);
        EXPECT_NE(lines_.back().find(" 0 left (0 bytes), 0 frees refused, 0 locks refused"),
                  std::string::npos)
            << lines_.back();
    }
}

TEST_F(SaneAcquisitionTest, ImagesFollowEachOtherUntilTheSourceHasNoMore) {
    // Three from the flatbed, as CAP_XFERCOUNT asks; then all the test device's feeder holds (it
    // runs empty after ten pages).
    struct Case {
        std::vector<std::string> options;
        int images;
    };
    const Case cases[] = {{{"--count", "3"}, 3}, {{"--count", "-1", "--feeder", "--poll"}, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.images);
        auto options = c.options;
        options.insert(options.end(),
                       {"--resolution", "10", "--area", "0,0,5,5", "--transfer", "memory"});
        const auto acquired = run_in_view(acquire(options));
        ASSERT_EQ(acquired.status, 0) << acquired.err;
        std::string expected;
        for (int number = 1; number <= c.images; ++number) {
            const auto file = temp_ / ("page-" + std::to_string(number) + ".tif");
            expected += file.string() + ": 50x50 gray 8-bit 10x10 dpi memory\n";
            EXPECT_TRUE(fs::is_regular_file(file)) << file;
        }
        EXPECT_EQ(acquired.out, expected);
        EXPECT_FALSE(fs::exists(temp_ / ("page-" + std::to_string(c.images + 1) + ".tif")));
        lines_ = lines_of(trace_);
        // One MSG_ENDXFER after each image; the source said when it had no more, so no MSG_RESET.
        std::ptrdiff_t at = -1;
        for (int number = 1; number <= c.images; ++number) {
            at = expect_line(
                "app->ds " + app_ + "DG_IMAGE/DAT_IMAGEINFO/MSG_GET -> TWRC_SUCCESS (0)", at);
            at = expect_line(
                "app->ds " + app_ + "DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER -> TWRC_SUCCESS (0)",
                at);
        }
        EXPECT_EQ(find_line(lines_, "app->ds " + app_ + "DG_IMAGE/DAT_IMAGEINFO", at), -1);
        EXPECT_EQ(find_line(lines_, "app->ds " + app_ + "DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET"),
                  -1);
        EXPECT_NE(lines_.back().find(" 0 left (0 bytes)"), std::string::npos) << lines_.back();
        for (int number = 1; number <= c.images; ++number)
            fs::remove(temp_ / ("page-" + std::to_string(number) + ".tif"));
    }
}

TEST_F(SaneAcquisitionTest, AFailedTransferIsReportedAndTheSourceWoundDownInSequence) {
    configure_sane({"number_of_devices 1", "read-status-code \"SANE_STATUS_JAMMED\""});
    for (const auto* mechanism : {"native", "memory"}) {
        SCOPED_TRACE(mechanism);
        const auto acquired = run_in_view(acquire({"--resolution", "10", "--transfer", mechanism}));
        EXPECT_EQ(acquired.status, 1);
        EXPECT_EQ(acquired.out, "");
        const std::string triplet = std::string(mechanism) == "native"
                                        ? "DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET"
                                        : "DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET";
        EXPECT_EQ(acquired.err,
                  "twain-host: " + triplet + " -> TWRC_FAILURE (1), TWCC_PAPERJAM (20)\n");
        EXPECT_FALSE(fs::exists(image_));
        lines_ = lines_of(trace_);
        // The failed transfer leaves the source with its image pending: reset, disabled, closed,
        // each accepted.
        auto at = expect_line("app->ds " + app_ + triplet + " -> TWRC_FAILURE (1)");
        for (const auto* step :
             {"app->ds #1 \"twain-host\" DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)",
              "app->ds #1 \"twain-host\" DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET -> TWRC_SUCCESS (0)",
              "app->ds #1 \"twain-host\" DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS -> "
              "TWRC_SUCCESS (0)",
              "dsm->ds #1 \"twain-host\" DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS -> TWRC_SUCCESS "
              "(0)"}) {
            at += 1;
            EXPECT_EQ(lines_.at(static_cast<std::size_t>(at)), step);
        }
        expect_line("app->dsm " + app_ + "DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM -> TWRC_SUCCESS (0)",
                    at);
        EXPECT_NE(lines_.back().find(" 0 left (0 bytes)"), std::string::npos) << lines_.back();
    }
}

}  // namespace
