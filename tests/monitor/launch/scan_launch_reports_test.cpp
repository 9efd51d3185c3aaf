// The road to Scan Hub as the journal tells it. Each obstacle is one entry however many
// requests meet it, and its end is said when a request gets through.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "monitor/launch/scan_launch_request.hpp"
#include "platform/folders/folders.hpp"
#include "platform/msgport/named_socket.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/recorded_entries.hpp"

namespace {

using monitor::ScanLaunchRequest;
using testing_support::FieldOf;
using testing_support::RecordedEntries;

constexpr const char* kInstallLocation = "/Library/Printers/Velmora/2006/Velmora Scan Hub.app";

std::int32_t SendRequest() { return ScanLaunchRequest(1, 5, 300, 1, "10.1.2.3").Send(); }

class ScanLaunchReports : public ::testing::Test {
protected:
    void SetUp() override { testing_support::adopt_orphans(); }

    void InstallStandIn() {
        const pid_t maker = testing_support::start_program(
            {STANDIN_PROGRAM, "--make-bundle",
             platform::folders::system_path(kInstallLocation).string(), "--pid-file",
             pidFile.string(), "--log", (env.base() / "standin.log").string()});
        const auto status = testing_support::wait_for_exit(maker);
        ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    }
    // The launched stand-in's pid, once it serves its signature.
    pid_t LaunchedPid() {
        EXPECT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(pidFile); }));
        return testing_support::read_pid_file(pidFile).value_or(-1);
    }

    // "CONDITION state" of every condition entry, in order.
    std::vector<std::string> Story() const {
        std::vector<std::string> story;
        for (const auto& entry : recorded.All()) {
            story.push_back(FieldOf(entry, "CONDITION") + " " + FieldOf(entry, "CONDITION_STATE"));
        }
        return story;
    }

    testing_support::IsolatedEnvironment env;
    testing_support::ChildProcessGuard children;
    RecordedEntries recorded;
    std::filesystem::path pidFile = env.base() / "standin.pid";
};

TEST_F(ScanLaunchReports, AMissingScanHubIsOneEntryForAFloodAndEndsWithTheLaunch) {
    for (int request = 0; request < 200; ++request) ASSERT_EQ(SendRequest(), -4960);
    const auto missing = recorded.With("CONDITION", "SCAN_HUB_MISSING");
    ASSERT_EQ(missing.size(), 1U);
    EXPECT_EQ(FieldOf(missing[0], "OS_STATUS"), "-4960");
    EXPECT_EQ(FieldOf(missing[0], "APPLICATION"),
              platform::folders::system_path(kInstallLocation).string());

    InstallStandIn();
    ASSERT_EQ(SendRequest(), 0);
    const pid_t launched = LaunchedPid();
    // Delivered to the running application now.
    ASSERT_EQ(SendRequest(), 0);
    ASSERT_EQ(SendRequest(), 0);
    EXPECT_EQ(Story(),
              (std::vector<std::string>{"SCAN_HUB_MISSING began", "SCAN_HUB_MISSING ended",
                                        "SCAN_HUB_NOT_RUNNING began", "SCAN_HUB_SCOPE_FAILED began",
                                        "SCAN_HUB_NOT_RUNNING ended"}));
    const auto started = recorded.With("CONDITION", "SCAN_HUB_NOT_RUNNING").at(0);
    EXPECT_EQ(FieldOf(started, "PID"), std::to_string(launched));
    EXPECT_EQ(FieldOf(started, "SCOPE"), "") << "no user bus in the test's world";
    EXPECT_NE(recorded.With("CONDITION", "SCAN_HUB_SCOPE_FAILED").at(0).message.find("no user bus"),
              std::string::npos);
}

TEST_F(ScanLaunchReports, ALaunchThatFailsIsOneEntryWithItsStatus) {
    InstallStandIn();
    std::filesystem::remove_all(platform::folders::system_path(kInstallLocation) /
                                "Contents/MacOS");
    for (int request = 0; request < 20; ++request) ASSERT_EQ(SendRequest(), -43);
    const auto failed = recorded.With("CONDITION", "SCAN_HUB_LAUNCH_FAILED");
    ASSERT_EQ(failed.size(), 1U);
    EXPECT_EQ(FieldOf(failed[0], "OS_STATUS"), "-43");
    EXPECT_EQ(recorded.All().size(), 1U);
}

TEST_F(ScanLaunchReports, AnApplicationThatStoppedReadingIsReportedBeforeTheLaunch) {
    // The signature is served, but nobody reads: its queue fills and the event times out.
    auto claimed = platform::msgport::NamedSocket::claim("appevents", "QH06");
    ASSERT_TRUE(claimed) << claimed.error().message;
    const std::byte filler[64] = {};
    while (platform::msgport::send_to_name("appevents", "QH06", filler,
                                           std::chrono::milliseconds(1))) {
    }
    EXPECT_EQ(SendRequest(), -4960) << "then launched, but nothing is installed";
    const auto failed = recorded.With("CONDITION", "SCAN_HUB_EVENT_FAILED");
    ASSERT_EQ(failed.size(), 1U);
    EXPECT_EQ(FieldOf(failed[0], "OS_STATUS"), "-1712");
    EXPECT_EQ(recorded.With("CONDITION", "SCAN_HUB_MISSING").size(), 1U);
}

}  // namespace
