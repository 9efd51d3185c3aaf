// The demos when no private view can be made: they say so at once, in bubblewrap's own words and
// with a hint, before building anything; and when the view fails only once the demo is under
// way, they say so at once too and leave their folder for a look. bubblewrap is replaced through
// PATH by a script that fails with a message, or is missing from PATH altogether.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using testing_support::ProgramRun;

const std::string kRefusal = "bwrap: setting up uid map: Permission denied";
const std::string kLateRefusal =
    "bwrap: Can't mount proc on /newroot/proc: Operation not permitted";

class DemoView : public ::testing::TestWithParam<const char*> {
protected:
    // A bwrap that refuses every view, or (late) every view but one that runs "true" alone, as
    // the check's does.
    void fake_bubblewrap(bool late) const {
        fs::create_directories(fake_bin_);
        const std::string check =
            late ? "for last; do :; done\n[ \"$last\" = true ] && exit 0\n" : "";
        testing_support::write_file(fake_bin_ / "bwrap", "#!/bin/sh\n" + check + "echo \"" +
                                                             (late ? kLateRefusal : kRefusal) +
                                                             "\" >&2\nexit 1\n");
        fs::permissions(fake_bin_ / "bwrap", fs::perms::owner_all);
    }
    // Every command of the system's but bwrap.
    void without_bubblewrap() const {
        fs::create_directories(fake_bin_);
        for (const char* folder : {"/usr/local/bin", "/usr/bin", "/usr/sbin"}) {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(folder, error)) {
                const auto name = entry.path().filename();
                if (name == "bwrap" || fs::exists(fake_bin_ / name)) continue;
                fs::create_symlink(entry.path(), fake_bin_ / name);
            }
        }
    }

    ProgramRun run_demo(const std::string& build, const std::string& path) const {
        return testing_support::run_to_end(
            {std::string(SOURCE_TREE) + "/scripts/" + GetParam(), "--build-dir", build},
            {{"PATH", path}, {"TMPDIR", temp_.path().string()}});
    }
    std::string path_with_fake() const { return fake_bin_.string() + ":" + std::getenv("PATH"); }
    // The folders a demo left in TMPDIR.
    std::vector<fs::path> left_folders() const {
        std::vector<fs::path> left;
        for (const auto& entry : fs::directory_iterator(temp_.path())) {
            if (entry.path().filename().string().rfind("velmora-", 0) == 0) left.push_back(entry);
        }
        return left;
    }

    testing_support::TempDir temp_{"demo-view-test"};
    fs::path fake_bin_ = temp_ / "bin";
    fs::path unbuilt_ = temp_ / "build";
};

TEST_P(DemoView, ARefusedViewIsReportedAtOnceBeforeBuilding) {
    fake_bubblewrap(false);
    const auto run = run_demo(unbuilt_.string(), path_with_fake());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kRefusal), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("unprivileged user namespaces"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(unbuilt_)) << "the demo configured a build before it knew";
    EXPECT_TRUE(left_folders().empty());
}

TEST_P(DemoView, AMissingBubblewrapIsReportedAtOnceBeforeBuilding) {
    without_bubblewrap();
    const auto run = run_demo(unbuilt_.string(), fake_bin_.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bubblewrap (bwrap) is not installed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("apt-get install bubblewrap"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(unbuilt_));
}

TEST_P(DemoView, AViewThatFailsLaterIsReportedAtOnceAndItsFolderIsLeft) {
    fake_bubblewrap(true);
    const auto run = run_demo(BUILD_TREE, path_with_fake());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kLateRefusal), std::string::npos) << run.out << run.err;
    // The build is shown, not hidden: ninja's own lines reach the user.
    EXPECT_NE(run.out.find("ninja: "), std::string::npos) << run.out;
    const auto left = left_folders();
    ASSERT_EQ(left.size(), 1U) << run.err;
    EXPECT_NE(run.err.find(left.front().string()), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Scripts, DemoView, ::testing::Values("demo.sh", "demo-scan.sh"),
                         [](const auto& test) {
                             return std::string(test.param) == "demo.sh" ? "Demo" : "ScanDemo";
                         });

}  // namespace
