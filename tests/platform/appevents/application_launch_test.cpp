#include "platform/appevents/application_launch.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/plist/document.hpp"
#include "platform/plist/value.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using platform::appevents::launch_application;
using platform::plist::Value;
using testing_support::IsolatedEnvironment;
using testing_support::write_file;

std::filesystem::path lay_out_app(const std::filesystem::path& folder, const char* executable) {
    write_file(folder / "Contents/Info.plist",
               *platform::plist::to_xml(
                   Value::dictionary({{"CFBundleExecutable", Value::string("Probe")}})));
    if (executable) {
        std::filesystem::create_directories(folder / "Contents/MacOS");
        std::filesystem::copy_file(executable, folder / "Contents/MacOS/Probe");
    }
    return folder;
}

std::map<std::string, std::string> read_report(const std::filesystem::path& path) {
    std::map<std::string, std::string> report;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        report[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return report;
}

std::vector<std::byte> pattern(std::size_t size) {
    std::vector<std::byte> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::byte>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class ApplicationLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        report_ = env_.base() / "report";
        ::setenv("LAUNCH_PROBE_REPORT", report_.c_str(), 1);
    }

    // Waits for the probe's report, then for the probe to end (it is this test's child as
    // an adopted orphan, or init's).
    std::map<std::string, std::string> await_report() {
        EXPECT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(report_); }))
            << "the probe never reported";
        return read_report(report_);
    }

    IsolatedEnvironment env_;
    testing_support::ChildProcessGuard children_;
    std::filesystem::path report_;
};

TEST_F(ApplicationLaunch, RunsDetachedWithDefaultSignalsTheParametersAsInputAndNothingElse) {
    // State of the caller that must not reach the application.
    ::signal(SIGUSR1, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t blocked;
    ::sigemptyset(&blocked);
    ::sigaddset(&blocked, SIGUSR2);
    ::sigaddset(&blocked, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
    const int stray = ::open("/dev/zero", O_RDONLY);  // no CLOEXEC
    ASSERT_GE(stray, 0);
    ::close(STDIN_FILENO);  // the memory file may land on 0; the child must still sort it out

    // Larger than a pipe holds: a launcher feeding a pipe would stall here.
    const auto parameters = pattern(1 << 20);
    auto launched =
        launch_application(lay_out_app(env_.base() / "Probe.app", LAUNCH_PROBE), parameters);
    ::close(stray);
    ASSERT_TRUE(launched) << launched.error().message;

    const auto report = await_report();
    EXPECT_EQ(report.at("pid"), std::to_string(*launched));
    EXPECT_EQ(report.at("arguments"), "0");
    EXPECT_NE(report.at("sid"), std::to_string(::getsid(0))) << "not a new session";
    EXPECT_NE(report.at("ppid"), std::to_string(::getpid())) << "the caller became the parent";
    EXPECT_EQ(report.at("stdout-null"), "1");
    EXPECT_EQ(report.at("stderr-null"), "1");
    EXPECT_EQ(report.at("blocked"), "");
    EXPECT_EQ(report.at("ignored"), "");
    EXPECT_EQ(report.at("other-fds"), "");
    const std::string input = testing_support::read_file(report_.string() + ".stdin");
    ASSERT_EQ(input.size(), parameters.size());
    EXPECT_EQ(std::memcmp(input.data(), parameters.data(), input.size()), 0);
}

TEST_F(ApplicationLaunch, LeavesTheCallerNoChildToReap) {
    auto launched = launch_application(lay_out_app(env_.base() / "Probe.app", LAUNCH_PROBE), {});
    ASSERT_TRUE(launched) << launched.error().message;
    // Without being a subreaper, this process has no child at all left: the intermediate one
    // was reaped and the application belongs to init.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    const auto report = await_report();
    EXPECT_EQ(testing_support::read_file(report_.string() + ".stdin"), "");
}

TEST_F(ApplicationLaunch, AnAdoptingCallerCanEndWhatItLaunched) {
    testing_support::adopt_orphans();
    auto launched =
        launch_application(lay_out_app(env_.base() / "Probe.app", LAUNCH_PROBE), pattern(10));
    ASSERT_TRUE(launched);
    const auto status = testing_support::wait_for_exit(*launched);
    ASSERT_TRUE(status) << "the application never ended or is not ours to reap";
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST_F(ApplicationLaunch, AMissingBundleOrExecutableIsFileNotFound) {
    auto no_bundle = launch_application(env_.base() / "Missing.app", {});
    ASSERT_FALSE(no_bundle);
    EXPECT_EQ(no_bundle.error().status, -43);

    auto no_executable = launch_application(lay_out_app(env_.base() / "Empty.app", nullptr), {});
    ASSERT_FALSE(no_executable);
    EXPECT_EQ(no_executable.error().status, -43);

    std::filesystem::create_directories(env_.base() / "NoInfo.app/Contents/MacOS");
    auto no_info = launch_application(env_.base() / "NoInfo.app", {});
    ASSERT_FALSE(no_info);
    EXPECT_EQ(no_info.error().status, -43);
}

TEST_F(ApplicationLaunch, AProgramThatCannotRunIsAFailureNotALaunch) {
    testing_support::adopt_orphans();
    const auto folder = lay_out_app(env_.base() / "Script.app", nullptr);
    // No execute permission at all, which stops root too.
    write_file(folder / "Contents/MacOS/Probe", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(folder / "Contents/MacOS/Probe",
                                 std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::replace);
    auto denied = launch_application(folder, {});
    ASSERT_FALSE(denied);
    EXPECT_NE(denied.error().status, 0);
    // An interpreter that does not exist: exec itself fails, even for root.
    write_file(folder / "Contents/MacOS/Probe", "#!/nonexistent/interpreter\n");
    std::filesystem::permissions(folder / "Contents/MacOS/Probe", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    auto no_interpreter = launch_application(folder, {});
    ASSERT_FALSE(no_interpreter);
    EXPECT_EQ(no_interpreter.error().status, -43);
    EXPECT_NE(no_interpreter.error().message.find("cannot run"), std::string::npos)
        << no_interpreter.error().message;
}

}  // namespace
