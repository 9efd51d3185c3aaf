// What the service manager is told: READY with a line that says what is served and whether the
// scanner is there, that line again whenever it changes (and only then), STOPPING, and why the
// monitor ends when USB cannot be watched.

#include "monitor/core/service_status.hpp"

#include <gtest/gtest.h>

#include "platform/systemd/service_notifier.hpp"
#include "tests/support/notify_standin.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using monitor::PortState;
using monitor::ServiceStatus;

class ServiceStatusTest : public ::testing::Test {
protected:
    testing_support::TempDir dir_;
    testing_support::NotifyStandIn manager_{(dir_ / "notify").string()};
    platform::systemd::ServiceNotifier notifier_ =
        platform::systemd::ServiceNotifier::to_address(manager_.address());
    ServiceStatus status_;
};

TEST_F(ServiceStatusTest, ReadyCarriesTheLineAndLaterChangesFollowOneByOne) {
    status_.UseNotifier(&notifier_);
    // Before READY the line is only shaped.
    status_.NotePortState(PortState::Serving);
    status_.NoteScannerAttached(true);
    status_.NotifyReady();
    status_.NoteScannerAttached(true);  // no change, no message
    status_.NoteScannerAttached(false);
    status_.NotePortState(PortState::NotServed);
    status_.NotifyStopping();

    EXPECT_EQ(manager_.Next(), "READY=1\nSTATUS=serving OSPREY_HID_MSG_PORT; scanner attached");
    EXPECT_EQ(manager_.Next(), "STATUS=serving OSPREY_HID_MSG_PORT; no scanner attached");
    EXPECT_EQ(manager_.Next(),
              "STATUS=OSPREY_HID_MSG_PORT could not be served, no network scan requests; "
              "no scanner attached");
    EXPECT_EQ(manager_.Next(), "STOPPING=1\nSTATUS=stopping on a quit signal");
    EXPECT_EQ(manager_.Next(std::chrono::milliseconds(0)), std::nullopt);
}

TEST_F(ServiceStatusTest, APortServedElsewhereIsSaidSo) {
    status_.NotePortState(PortState::ServedElsewhere);
    EXPECT_EQ(status_.Line(),
              "OSPREY_HID_MSG_PORT is served by another process, no network scan requests here; "
              "no scanner attached");
}

TEST_F(ServiceStatusTest, AWatchThatCannotStartSaysWhyAndIsNeverReady) {
    status_.UseNotifier(&notifier_);
    status_.NotifyWatchFailed("no device tree at /sys/bus (sysfs is not mounted)");
    EXPECT_EQ(
        manager_.Next(),
        "STATUS=cannot watch USB (no device tree at /sys/bus (sysfs is not mounted)); ending, "
        "to be started again by the service manager");
}

TEST_F(ServiceStatusTest, WithoutANotifierOnlyTheLineIsKept) {
    status_.NotePortState(PortState::Serving);
    status_.NotifyReady();
    status_.NoteScannerAttached(true);
    EXPECT_EQ(status_.Line(), "serving OSPREY_HID_MSG_PORT; scanner attached");
    EXPECT_EQ(manager_.Next(std::chrono::milliseconds(0)), std::nullopt);
}

}  // namespace
