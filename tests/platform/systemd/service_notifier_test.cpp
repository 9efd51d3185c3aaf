// Notifications to a stand-in of the service manager's socket, at a path and at an abstract
// name; the variable that names it leaves the environment; a manager that does not read never
// holds the sender up.

#include "platform/systemd/service_notifier.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/notify_standin.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using platform::systemd::ServiceNotifier;
using testing_support::NotifyStandIn;

class ServiceNotifierAt : public ::testing::TestWithParam<bool> {
protected:
    std::string Address() const {
        if (GetParam()) return "@velmora-notify-test-" + std::to_string(::getpid());
        return (dir_ / "notify").string();
    }
    testing_support::TempDir dir_;
};

TEST_P(ServiceNotifierAt, SendsEachNotificationAsOneDatagram) {
    NotifyStandIn manager(Address());
    ASSERT_TRUE(manager.listening());
    const ServiceNotifier notifier = ServiceNotifier::to_address(manager.address());
    ASSERT_TRUE(notifier.active());

    EXPECT_TRUE(notifier.ready("serving the port\nand more"));
    EXPECT_TRUE(notifier.status("scanner attached"));
    EXPECT_TRUE(notifier.stopping("stopping"));
    EXPECT_EQ(manager.Next(), "READY=1\nSTATUS=serving the port and more") << "one line";
    EXPECT_EQ(manager.Next(), "STATUS=scanner attached");
    EXPECT_EQ(manager.Next(), "STOPPING=1\nSTATUS=stopping");
}

TEST_P(ServiceNotifierAt, TakesItsSocketFromTheEnvironmentAndRemovesIt) {
    NotifyStandIn manager(Address());
    ASSERT_TRUE(manager.listening());
    ASSERT_EQ(::setenv("NOTIFY_SOCKET", manager.address().c_str(), 1), 0);
    const ServiceNotifier notifier = ServiceNotifier::from_environment();
    EXPECT_EQ(std::getenv("NOTIFY_SOCKET"), nullptr) << "children must not inherit it";
    EXPECT_TRUE(notifier.notify("READY=1"));
    EXPECT_EQ(manager.Next(), "READY=1");
}

INSTANTIATE_TEST_SUITE_P(PathAndAbstractName, ServiceNotifierAt, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Abstract" : "Path"; });

TEST(ServiceNotifier, WithoutAUsableAddressSendsNothing) {
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(ServiceNotifier::from_environment().active());
    for (const char* address : {"", "@", "relative/path", "vsock:2:1234"}) {
        const ServiceNotifier notifier = ServiceNotifier::to_address(address);
        EXPECT_FALSE(notifier.active()) << address;
        EXPECT_FALSE(notifier.ready("x")) << address;
    }
    const std::string tooLong = "/" + std::string(200, 'x');
    EXPECT_FALSE(ServiceNotifier::to_address(tooLong).active());
}

TEST(ServiceNotifier, AManagerThatDoesNotReadLosesNotificationsAndHoldsNothingUp) {
    testing_support::TempDir dir;
    NotifyStandIn manager((dir / "notify").string());
    ASSERT_TRUE(manager.listening());
    manager.ShrinkQueue();
    const ServiceNotifier notifier = ServiceNotifier::to_address(manager.address());
    // The queue fills after a few; every later send fails at once instead of waiting.
    int sent = 0;
    for (int i = 0; i < 1000; ++i) sent += notifier.status("status " + std::to_string(i)) ? 1 : 0;
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 1000);
    EXPECT_EQ(manager.Next(), "STATUS=status 0");
}

}  // namespace
