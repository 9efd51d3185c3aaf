// twain-host and the installed pieces together, the way a Linux system runs them: the host
// finds the data source like the Source Manager does and the data source loads the sample
// backend from its fixed path. The programs run under bubblewrap with a fixture tree bound at
// /Library, since the data source reads the system's real paths.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/plist/document.hpp"
#include "tests/tools/twain_host/host_view.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"

namespace {

namespace fs = std::filesystem;
using twain_host_testing::find_line;
using twain_host_testing::lines_of;
using twain_host_testing::run;

class HostProgramTest : public twain_host_testing::HostView {
protected:
    void install_sample_backend() const { install_backend(SAMPLE_BACKEND_BUNDLE); }
};

TEST_F(HostProgramTest, ProbingFindsTheDataSourceAndPrintsTheIdentityFromTheBackend) {
    install_sample_backend();
    twain_testing::lay_out_scanner_bundle(
        library_ / "Application Support/Velmora/Q580n Scanner.bundle",
        twain_testing::full_scanner_info("/Library/Printers/Velmora/QSA.plist"), {"Color", "Gray"});
    const auto probe = run_in_view({TWAIN_HOST, "--probe", twain_folder_.string()});
    EXPECT_EQ(probe.status, 0) << probe.out;
    EXPECT_NE(probe.out.find((twain_folder_ / "velmora/velmora-q580n.ds").string() +
                             "\n  DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)\n"),
              std::string::npos)
        << probe.out;
    for (const auto* line :
         {"Version          1.0  language 13  country 1  \"1.0.0d0\"", "Protocol         1.9",
          "SupportedGroups  0x00000003  DG_CONTROL DG_IMAGE", "Manufacturer     \"Velmora\"",
          "ProductFamily    \"Velmora Scanners\"", "ProductName      \"Velmora Q580n\""}) {
        EXPECT_NE(probe.out.find(line), std::string::npos) << line << "\n" << probe.out;
    }
    const auto record = platform::plist::read_file(record_);
    ASSERT_TRUE(record) << "the backend recorded nothing";
    EXPECT_EQ(record->get("Creations"), platform::plist::Value::integer(1));
    EXPECT_EQ(record->get("Kinds").get("dKeyDriverURL"),
              platform::plist::Value::string("file URL"));
    // In the installed system's own view, the backend is given the fixed paths as they stand.
    const auto dictionary = record->get("Dictionary");
    EXPECT_EQ(dictionary.size(), 32u);
    EXPECT_EQ(dictionary.get("dKeyImagingURL"),
              platform::plist::Value::string(
                  "/Library/Printers/Velmora/Frameworks/VelImagingEngine.bundle"));
    EXPECT_EQ(dictionary.get("dKeyDriverURL"),
              platform::plist::Value::string("file:///Library/Application%20Support/Velmora/"
                                             "Q580n%20Scanner.bundle/Contents/SharedSupport/"
                                             "Q580nScannerLib.bundle"));
    EXPECT_EQ(dictionary.get("dKeyICCGrayFilePath"),
              platform::plist::Value::string("/Library/Application Support/Velmora/"
                                             "Q580n Scanner.bundle/Contents/Resources/Gray.icc"));
}

TEST_F(HostProgramTest, WithoutTheBackendTheDataSourceAnswersNothing) {
    testing_support::write_file(twain_folder_ / "broken.ds", "not a shared object");
    fs::create_directories(twain_folder_ / "folder.ds");
    const auto probe = run_in_view({TWAIN_HOST, "--probe", twain_folder_.string()});
    EXPECT_EQ(probe.status, 1) << probe.out;
    EXPECT_NE(probe.out.find((twain_folder_ / "broken.ds").string() + "\n  not loaded: "),
              std::string::npos)
        << probe.out;
    EXPECT_NE(
        probe.out.find("velmora-q580n.ds\n  DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_FAILURE (1)\n"),
        std::string::npos)
        << probe.out;
    EXPECT_EQ(probe.out.find("folder.ds"), std::string::npos)
        << "only regular files are data sources";
    EXPECT_FALSE(fs::exists(record_));
}

TEST_F(HostProgramTest, TripletsFromTheCommandLineAreSentInOrder) {
    install_sample_backend();
    const auto call = run_in_view(
        {TWAIN_HOST, (twain_folder_ / "velmora/velmora-q580n.ds").string(), "control/status/get",
         "image/imagenativexfer/get", "control/status/get", "DG_CONTROL/DAT_IDENTITY/MSG_GET"});
    EXPECT_EQ(call.status, 0) << call.out;
    EXPECT_EQ(call.out.substr(0, call.out.find("  Id")),
              "DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)\n"
              "  ConditionCode    TWCC_SUCCESS (0)\n"
              "DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET -> TWRC_FAILURE (1)\n"
              "DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)\n"
              "  ConditionCode    TWCC_BADPROTOCOL (9)\n"
              "DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)\n");
}

TEST_F(HostProgramTest, AcquiringPlaysTheSourceManagersSequenceUpToTheFirstRefusal) {
    // The sample backend opens but refuses every capability, and its identity has no DF_DS2.
    install_sample_backend();
    const auto data_source = (twain_folder_ / "velmora/velmora-q580n.ds").string();
    for (const bool poll : {false, true}) {
        SCOPED_TRACE(poll ? "polling" : "with a callback");
        const auto trace = temp_ / "trace.txt";
        std::vector<std::string> command = {TWAIN_HOST,
                                            "--acquire",
                                            (temp_ / "page.tif").string(),
                                            "--folder",
                                            twain_folder_.string(),
                                            "--trace",
                                            trace.string()};
        if (poll) command.push_back("--poll");
        const auto acquired = run_in_view(command);
        EXPECT_EQ(acquired.status, 1);
        EXPECT_EQ(acquired.err,
                  "twain-host: DG_CONTROL/DAT_CAPABILITY/MSG_SET CAP_XFERCOUNT 1 -> "
                  "TWRC_FAILURE (1), TWCC_BADPROTOCOL (9)\n");
        EXPECT_FALSE(fs::exists(temp_ / "page.tif"));

        const auto lines = lines_of(trace);
        const std::string app = "#1 \"twain-host\" ";
        // Listed with a null origin, unloaded, and loaded anew to be opened.
        const auto listed = find_line(lines, "load " + data_source);
        ASSERT_EQ(listed, 0);
        EXPECT_EQ(lines[1], "dsm->ds null DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)");
        EXPECT_EQ(lines[2], "unload " + data_source);
        EXPECT_EQ(lines[3],
                  "app->dsm " + app + "DG_CONTROL/DAT_PARENT/MSG_OPENDSM -> TWRC_SUCCESS (0)");
        // Opening: loaded, asked again with the application's identity, unloaded, loaded for
        // good and opened, without DAT_ENTRYPOINT for an identity that lacks DF_DS2.
        const auto asked_again = find_line(lines, "load " + data_source, 1);
        ASSERT_GT(asked_again, 3);
        const auto at = [&](std::ptrdiff_t i) { return lines.at(static_cast<std::size_t>(i)); };
        EXPECT_EQ(at(asked_again + 1),
                  "dsm->ds " + app + "DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)");
        EXPECT_EQ(at(asked_again + 2), "unload " + data_source);
        const auto reloaded = asked_again + 3;
        EXPECT_EQ(at(reloaded), "load " + data_source);
        EXPECT_EQ(at(reloaded + 1),
                  "dsm->ds " + app + "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS -> TWRC_SUCCESS (0)");
        EXPECT_EQ(find_line(lines, "dsm->ds " + app + "DG_CONTROL/DAT_ENTRYPOINT"), -1);
        EXPECT_EQ(
            find_line(lines, "app->dsm " + app +
                                 "DG_CONTROL/DAT_CALLBACK/MSG_REGISTER_CALLBACK -> TWRC_SUCCESS") >=
                0,
            !poll);
        // The refusal, its status asked from the source, then closing, in order.
        const auto refused = find_line(
            lines, "app->ds " + app +
                       "DG_CONTROL/DAT_CAPABILITY/MSG_SET CAP_XFERCOUNT -> TWRC_FAILURE (1)");
        ASSERT_GT(refused, reloaded);
        EXPECT_EQ(at(refused + 1),
                  "app->ds " + app + "DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)");
        const auto closed = find_line(
            lines, "dsm->ds " + app + "DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS -> TWRC_SUCCESS (0)",
            refused);
        ASSERT_GT(closed, refused);
        EXPECT_EQ(at(closed + 1), "unload " + data_source);
        EXPECT_GT(
            find_line(lines,
                      "app->dsm " + app + "DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM -> TWRC_SUCCESS (0)",
                      closed),
            closed);
        // The capability's container went through the Source Manager's memory and came back.
        EXPECT_EQ(lines.back(),
                  "memory: 1 allocated (6 bytes), 1 freed, 0 left (0 bytes), 0 frees refused, 0 "
                  "locks refused");
    }
}

TEST_F(HostProgramTest, AcquiringWithoutADataSourceSaysSo) {
    const auto acquired = run_in_view({TWAIN_HOST, "--acquire", (temp_ / "page.tif").string(),
                                       "--folder", (temp_ / "empty").string()});
    EXPECT_EQ(acquired.status, 1);
    EXPECT_NE(
        acquired.err.find("DG_CONTROL/DAT_IDENTITY/MSG_GETFIRST (no data source answered in " +
                          (temp_ / "empty").string() + ") -> TWRC_FAILURE (1), TWCC_NODS (3)"),
        std::string::npos)
        << acquired.err;
}

TEST_F(HostProgramTest, UsageErrorsAndHelp) {
    EXPECT_EQ(run({TWAIN_HOST, "--help"}).status, 0);
    EXPECT_NE(run({TWAIN_HOST, "--help"}).out.find("--probe"), std::string::npos);
    EXPECT_EQ(run({TWAIN_HOST}).status, 2);
    EXPECT_EQ(run({TWAIN_HOST, DATA_SOURCE}).status, 2);
    EXPECT_EQ(run({TWAIN_HOST, DATA_SOURCE, "control/identity/fetch"}).status, 2);
    EXPECT_EQ(run({TWAIN_HOST, (temp_ / "missing.ds").string(), "control/identity/get"}).status, 1);
    // A bare file name is the file in the working folder, as on any command line.
    const auto bare = run_in_view({TWAIN_HOST, "velmora-q580n.ds", "control/identity/get"},
                                  twain_folder_ / "velmora");
    EXPECT_EQ(bare.status, 0);
    EXPECT_NE(bare.out.find("DG_CONTROL/DAT_IDENTITY/MSG_GET -> "), std::string::npos) << bare.out;

    const std::string file = (temp_ / "page.tif").string();
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--acquire"},
             {"--acquire", file, "--count", "0"},
             {"--acquire", file, "--pixel-type", "cmyk"},
             {"--acquire", file, "--area", "1,1,0,0"},
             {"--acquire", file, "--file-format", "png"},  // only for file transfers
             {"--acquire", file, "--data-source", DATA_SOURCE, "--folder", "/tmp"},
             {"--acquire", file, "extra"},
             {"--acquire", file, "--probe"},
             {"--resolution", "300", DATA_SOURCE, "control/status/get"},
             {"--bogus"}}) {
        std::vector<std::string> command = {TWAIN_HOST};
        command.insert(command.end(), bad.begin(), bad.end());
        const auto outcome = run(command);
        EXPECT_EQ(outcome.status, 2) << bad.back();
        EXPECT_NE(outcome.err.find("usage:"), std::string::npos) << bad.back();
    }
    EXPECT_FALSE(fs::exists(file));
}

}  // namespace
