// twain-host and the installed pieces together, the way a Linux system runs them: the host
// finds the data source like the Source Manager does and the data source loads the sample
// backend from its fixed path. The programs run under bubblewrap with a fixture tree bound at
// /Library, since the data source reads the system's real paths.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/unique_fd.hpp"
#include "platform/plist/document.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
};

// Runs the command and collects its standard output; standard error passes through.
Outcome run(const std::vector<std::string>& command) {
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0) return {};
    platform::UniqueFd read_end(pipe_ends[0]);
    platform::UniqueFd write_end(pipe_ends[1]);
    std::vector<char*> argv;
    for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(write_end.get(), STDOUT_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    write_end.reset();
    Outcome outcome;
    std::array<char, 4096> buffer;
    for (ssize_t n; (n = ::read(read_end.get(), buffer.data(), buffer.size())) > 0;) {
        outcome.out.append(buffer.data(), static_cast<std::size_t>(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

class HostProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (run({"bwrap", "--ro-bind", "/", "/", "true"}).status != 0) {
            GTEST_SKIP() << "bubblewrap cannot make a private view here";
        }
        fs::create_directories(library_);
        fs::create_directories(twain_folder_ / "velmora");
        fs::copy_file(DATA_SOURCE, twain_folder_ / "velmora/velmora-q580n.ds");
    }

    void install_sample_backend() const {
        const auto target = library_ / "Printers/Velmora/Frameworks/VelDataSourceBackend.bundle";
        fs::create_directories(target);
        fs::copy(SAMPLE_BACKEND_BUNDLE, target, fs::copy_options::recursive);
    }

    // The command in a view of its own: the system's programs and libraries, the build tree,
    // the fixture at /Library and a scratch /tmp holding this test's folder.
    Outcome run_in_view(const std::vector<std::string>& command, const fs::path& folder = "/") const {
        std::vector<std::string> full = {
            "bwrap", "--die-with-parent", "--tmpfs", "/", "--ro-bind", "/usr", "/usr",
            "--symlink", "usr/lib", "/lib", "--symlink", "usr/lib64", "/lib64",
            "--symlink", "usr/bin", "/bin", "--ro-bind", "/etc", "/etc",
            "--proc", "/proc", "--dev", "/dev", "--tmpfs", "/tmp",
            "--ro-bind", BUILD_TREE, BUILD_TREE, "--bind", temp_.path().string(), temp_.path().string(),
            "--bind", library_.string(), "/Library",
            "--setenv", "VELMORA_SAMPLE_BACKEND_RECORD", record_.string(),
            "--chdir", folder.string(), "--"};
        full.insert(full.end(), command.begin(), command.end());
        return run(full);
    }

    testing_support::TempDir temp_{"twain-host-test"};
    fs::path library_ = temp_ / "Library";
    fs::path twain_folder_ = temp_ / "twain";
    fs::path record_ = temp_ / "record.plist";
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
    for (const auto* line : {"Version          1.0  language 13  country 1  \"1.0.0d0\"",
                             "Protocol         1.9", "SupportedGroups  0x00000003  DG_CONTROL DG_IMAGE",
                             "Manufacturer     \"Velmora\"", "ProductFamily    \"Velmora Scanners\"",
                             "ProductName      \"Velmora Q580n\""}) {
        EXPECT_NE(probe.out.find(line), std::string::npos) << line << "\n" << probe.out;
    }
    const auto record = platform::plist::read_file(record_);
    ASSERT_TRUE(record) << "the backend recorded nothing";
    EXPECT_EQ(record->get("Creations"), platform::plist::Value::integer(1));
    EXPECT_EQ(record->get("Kinds").get("dKeyDriverURL"), platform::plist::Value::string("file URL"));
    // In the installed system's own view, the backend is given the fixed paths as they stand.
    const auto dictionary = record->get("Dictionary");
    EXPECT_EQ(dictionary.size(), 32u);
    EXPECT_EQ(dictionary.get("dKeyImagingURL"),
              platform::plist::Value::string("/Library/Printers/Velmora/Frameworks/VelImagingEngine.bundle"));
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
              std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("velmora-q580n.ds\n  DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_FAILURE (1)\n"),
              std::string::npos) << probe.out;
    EXPECT_EQ(probe.out.find("folder.ds"), std::string::npos) << "only regular files are data sources";
    EXPECT_FALSE(fs::exists(record_));
}

TEST_F(HostProgramTest, TripletsFromTheCommandLineAreSentInOrder) {
    install_sample_backend();
    const auto call = run_in_view({TWAIN_HOST, (twain_folder_ / "velmora/velmora-q580n.ds").string(),
                                   "control/status/get", "image/imagenativexfer/get",
                                   "control/status/get", "DG_CONTROL/DAT_IDENTITY/MSG_GET"});
    EXPECT_EQ(call.status, 0) << call.out;
    EXPECT_EQ(call.out.substr(0, call.out.find("  Id")),
              "DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)\n"
              "  ConditionCode    TWCC_SUCCESS (0)\n"
              "DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET -> TWRC_FAILURE (1)\n"
              "DG_CONTROL/DAT_STATUS/MSG_GET -> TWRC_SUCCESS (0)\n"
              "  ConditionCode    TWCC_BADPROTOCOL (9)\n"
              "DG_CONTROL/DAT_IDENTITY/MSG_GET -> TWRC_SUCCESS (0)\n");
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
}

}  // namespace
