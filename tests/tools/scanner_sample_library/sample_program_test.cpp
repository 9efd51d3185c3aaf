// scanner-library-sample as a program: laying the bundle out, reading a record back.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/support/temp_dir.hpp"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/sample_settings.hpp"

namespace {

using namespace scanner_sample;

struct Run {
    int status = -1;
    std::string output;
};

std::string Quoted(const std::string& word) { return "'" + word + "'"; }

// Runs the program with the arguments (each quoted for the shell) and waits for it.
Run RunProgram(const std::vector<std::string>& arguments) {
    std::string command = Quoted(SAMPLE_PROGRAM);
    for (const auto& argument : arguments) command += " " + Quoted(argument);
    command += " 2>&1";
    Run run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, read);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class SampleProgram : public ::testing::Test {
protected:
    testing_support::TempDir temp;
};

TEST_F(SampleProgram, LaysTheBundleOutWithItsSettings) {
    const auto bundle =
        temp / "Velmora/7720 Series Scanner.bundle/Contents/SharedSupport/7720ScannerLib.bundle";
    const auto run = RunProgram({"--make-bundle", bundle.string(), "--scan-version", "2,5,1",
                                 "--scan-version-result", "0", "--parameter-set-delay", "250"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "laid out " + bundle.string() + "\nit records to " +
                              (bundle.parent_path() / record_file_name).string() + "\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(bundle / "Contents/Info.plist"));
    EXPECT_TRUE(std::filesystem::is_regular_file(bundle / "Contents/MacOS/7720ScannerLib"));
    const auto settings = read_settings(bundle);
    EXPECT_EQ(settings.scan_version_bytes, (std::array<std::uint8_t, 3>{2, 5, 1}));
    EXPECT_EQ(settings.scan_version_result, 0);
    EXPECT_EQ(settings.parameter_set_delay.count(), 250);
    EXPECT_FALSE(settings.record_file);

    const auto again =
        RunProgram({"--make-bundle", bundle.string(), "--record-file", "/tmp/x.record"});
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(read_settings(bundle).scan_version_result, 1)
        << "laying out again replaces the settings";
    EXPECT_EQ(read_settings(bundle).record_file, std::filesystem::path("/tmp/x.record"));
}

TEST_F(SampleProgram, ShowsARecordInWordsAndFailsOnAnOverlap) {
    const auto bundle = temp / "7720ScannerLib.bundle";
    ASSERT_EQ(RunProgram({"--make-bundle", bundle.string()}).status, 0);
    const auto record = temp / record_file_name;
    ASSERT_TRUE(append_call(
        record, {"EnableScannerEx", {{"vendor", "7731"}, {"product", "183"}, {"result", "1"}}}));
    ASSERT_TRUE(
        append_call(record, {"DeviceParameterSet",
                             {{"handle", "1"},
                              {"parameter", "1"},
                              {"count", "3"},
                              {"length", "25"},
                              {"block", "04e4040046696c650900436c6970626f61726404004d61696c"},
                              {"result", "0"}}}));
    const auto clean = RunProgram({"--show-record", bundle.string()});
    EXPECT_EQ(clean.status, 0) << clean.output;
    EXPECT_NE(clean.output.find("    entry 3: \"Mail\" (4 bytes)\n"), std::string::npos)
        << clean.output;

    ASSERT_TRUE(append_call(record, {"Overlap", {{"handle", "2"}, {"enabled", "1"}}}));
    const auto overlapping = RunProgram({"--show-record", record.string()});
    EXPECT_EQ(overlapping.status, 3);
    EXPECT_NE(overlapping.output.find("OVERLAP:"), std::string::npos);

    EXPECT_EQ(RunProgram({"--show-record", (temp / "none.record").string()}).status, 1);
}

TEST_F(SampleProgram, RefusesABadCommandLine) {
    EXPECT_EQ(RunProgram({}).status, 2);
    EXPECT_EQ(RunProgram({"--make-bundle", "x", "--show-record", "y"}).status, 2);
    EXPECT_EQ(RunProgram({"--make-bundle", "x", "--scan-version", "1,2"}).status, 2);
    EXPECT_EQ(RunProgram({"--make-bundle", "x", "--scan-version", "1,2,256"}).status, 2);
    EXPECT_EQ(RunProgram({"--make-bundle", "x", "--record-file", "relative"}).status, 2);
    EXPECT_EQ(RunProgram({"--bogus"}).status, 2);
    const auto help = RunProgram({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--show-record"), std::string::npos);
}

}  // namespace
