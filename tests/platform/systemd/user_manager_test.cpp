// The user's service manager over a private bus with a stand-in manager on it (the scope it is
// asked for: scoped_launch_test.cpp): what it answers, and that a manager that refuses, or does
// not answer, or a bus that does not answer, costs a caller no more than its deadline.

#include "platform/systemd/user_manager.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/isolated_environment.hpp"
#include "tests/support/private_bus.hpp"

namespace {

using namespace std::chrono_literals;
using platform::systemd::UserManager;
using testing_support::PrivateBus;

platform::systemd::Deadline In(std::chrono::milliseconds time) {
    return std::chrono::steady_clock::now() + time;
}

class UserManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.available())
            << "dbus-daemon did not start (scripts/install-deps.sh installs it)";
    }

    testing_support::IsolatedEnvironment env_;
    PrivateBus bus_{env_.base() / "bus"};
};

TEST_F(UserManagerTest, ReadsTheManagersEnvironment) {
    ASSERT_TRUE(bus_.StartManager({{"DISPLAY=:7", "LANG=C.UTF-8", "WITH_SPACE=a b"}}));
    auto manager = UserManager::connect();
    ASSERT_TRUE(manager) << manager.error().message;
    auto environment = manager->environment(In(10s));
    ASSERT_TRUE(environment) << environment.error().message;
    EXPECT_EQ(*environment,
              (std::vector<std::string>{"DISPLAY=:7", "LANG=C.UTF-8", "WITH_SPACE=a b"}));
}

TEST_F(UserManagerTest, ARefusingManagerGivesItsErrorForBothQuestions) {
    ASSERT_TRUE(bus_.StartManager({{"DISPLAY=:7"}, true}));
    auto manager = UserManager::connect();
    ASSERT_TRUE(manager);
    auto environment = manager->environment(In(10s));
    ASSERT_FALSE(environment);
    EXPECT_NE(environment.error().message.find("org.freedesktop.systemd1.NoSuchUnit"),
              std::string::npos)
        << environment.error().message;
    auto job = manager->start_scope({"app-x-y-1.scope", "d", "", {::getpid()}}, In(10s));
    ASSERT_FALSE(job);
    EXPECT_NE(job.error().message.find("refused"), std::string::npos) << job.error().message;
    EXPECT_TRUE(bus_.ManagerCalls().empty());
}

// Nobody answering: the manager stopped, or the bus itself.
class SilentUserManager : public UserManagerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SilentUserManager, TheCallEndsAtItsDeadline) {
    ASSERT_TRUE(bus_.StartManager({{"DISPLAY=:7"}}));
    if (GetParam()) {
        bus_.SilenceBus();
    } else {
        bus_.SilenceManager();
    }
    auto manager = UserManager::connect();
    ASSERT_TRUE(manager) << "connecting waits for nothing";
    const auto deadline = In(300ms);
    auto environment = manager->environment(deadline);
    EXPECT_GE(std::chrono::steady_clock::now(), deadline) << "it gave up before the deadline";
    ASSERT_FALSE(environment);
    EXPECT_EQ(environment.error().message, "the user's service manager did not answer in time");
    auto job = manager->start_scope({"app-x-y-1.scope", "d", "", {::getpid()}}, In(0ms));
    EXPECT_FALSE(job) << "a spent deadline";
}

INSTANTIATE_TEST_SUITE_P(ManagerAndBus, SilentUserManager, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Bus" : "Manager"; });

TEST(UserManager, WithoutABusThereIsNoManager) {
    testing_support::IsolatedEnvironment env;  // a runtime folder without a bus, no address
    auto manager = UserManager::connect();
    EXPECT_FALSE(manager);
}

}  // namespace
