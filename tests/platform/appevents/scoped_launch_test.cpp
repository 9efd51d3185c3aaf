// Launching into a scope of its own on the user's service manager (a stand-in on a private
// bus): the application gets the manager's display and the scope gets the application's pid;
// whatever the manager or the bus does, the application is launched.

#include "platform/appevents/scoped_launch.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/plist/document.hpp"
#include "platform/plist/value.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/private_bus.hpp"

namespace {

using platform::appevents::launch_application_in_scope;
using platform::appevents::ScopedLaunch;
using platform::plist::Value;
using testing_support::PrivateBus;
using testing_support::write_file;

std::filesystem::path LayOutApp(const std::filesystem::path& folder, bool withIdentifier) {
    std::vector<std::pair<std::string, Value>> info{{"CFBundleExecutable", Value::string("Probe")}};
    if (withIdentifier) info.emplace_back("CFBundleIdentifier", Value::string("com.example.probe"));
    write_file(folder / "Contents/Info.plist", *platform::plist::to_xml(Value::dictionary(info)));
    std::filesystem::create_directories(folder / "Contents/MacOS");
    std::filesystem::copy_file(LAUNCH_PROBE, folder / "Contents/MacOS/Probe");
    return folder;
}

class ScopedLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.available())
            << "dbus-daemon did not start (scripts/install-deps.sh installs it)";
        report_ = env_.base() / "report";
        ::setenv("LAUNCH_PROBE_REPORT", report_.c_str(), 1);
        ::setenv("LAUNCH_PROBE_VARIABLES", "DISPLAY WAYLAND_DISPLAY HOME", 1);
        ::setenv("DISPLAY", ":0", 1);
        ::unsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override {
        for (const char* name : {"LAUNCH_PROBE_REPORT", "LAUNCH_PROBE_VARIABLES", "DISPLAY"}) {
            ::unsetenv(name);
        }
    }

    platform::Result<ScopedLaunch> Launch(bool withIdentifier = true) {
        const auto app = LayOutApp(env_.base() / "Probe.app", withIdentifier);
        const std::byte parameters[] = {std::byte{1}};
        return launch_application_in_scope(app, parameters, "tester");
    }

    // The probe's report, once it is there: "pid", "env-DISPLAY", ...
    std::map<std::string, std::string> Report() {
        EXPECT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(report_); }))
            << "the application never ran";
        std::map<std::string, std::string> report;
        std::ifstream in(report_);
        for (std::string line; std::getline(in, line);) {
            const auto space = line.find(' ');
            report[line.substr(0, space)] =
                space == std::string::npos ? "" : line.substr(space + 1);
        }
        return report;
    }

    testing_support::IsolatedEnvironment env_;
    testing_support::ChildProcessGuard children_;
    PrivateBus bus_{env_.base() / "bus"};
    std::filesystem::path report_;
};

TEST_F(ScopedLaunchTest, TheApplicationGetsTheManagersDisplayAndAScopeWithItsPid) {
    testing_support::adopt_orphans();
    ASSERT_TRUE(
        bus_.StartManager({{"DISPLAY=:7", "WAYLAND_DISPLAY=wayland-1", "HOME=/elsewhere"}}));
    const auto launched = Launch();
    ASSERT_TRUE(launched) << launched.error().message;
    const auto report = Report();
    EXPECT_EQ(report.at("pid"), std::to_string(launched->pid));
    EXPECT_EQ(report.at("env-DISPLAY"), ":7");
    EXPECT_EQ(report.at("env-WAYLAND_DISPLAY"), "wayland-1");
    EXPECT_EQ(report.at("env-HOME"), env_.home().string()) << "only display variables come along";

    const std::string scope =
        "app-tester-com.example.probe-" + std::to_string(launched->pid) + ".scope";
    EXPECT_EQ(launched->application_id, "com.example.probe");
    EXPECT_EQ(launched->scope, scope);
    EXPECT_EQ(launched->scope_failure, std::nullopt);
    EXPECT_EQ(bus_.ManagerCalls(),
              (std::vector<std::string>{"StartTransientUnit name=" + scope +
                                        " mode=fail Description=Probe, launched by tester"
                                        " Slice=app.slice CollectMode=inactive-or-failed PIDs=" +
                                        std::to_string(launched->pid)}));
}

TEST_F(ScopedLaunchTest, WithoutAnIdentifierTheScopeIsNamedAfterTheExecutable) {
    testing_support::adopt_orphans();
    ASSERT_TRUE(bus_.StartManager());
    const auto launched = Launch(false);
    ASSERT_TRUE(launched) << launched.error().message;
    EXPECT_EQ(launched->scope, "app-tester-Probe-" + std::to_string(launched->pid) + ".scope");
    EXPECT_EQ(Report().at("env-DISPLAY"), ":0") << "a manager without a display leaves the own";
}

// However the manager fails, the application runs as it would without one.
enum class Failure { Refusing, SilentManager, SilentBus, NoBus };

class ScopedLaunchFailure : public ScopedLaunchTest,
                            public ::testing::WithParamInterface<Failure> {};

TEST_P(ScopedLaunchFailure, TheApplicationIsLaunchedWithTheCallersDisplayAndNoScope) {
    testing_support::adopt_orphans();
    const Failure failure = GetParam();
    ASSERT_TRUE(bus_.StartManager({{"DISPLAY=:7"}, failure == Failure::Refusing}));
    if (failure == Failure::SilentManager) bus_.SilenceManager();
    if (failure == Failure::SilentBus) bus_.SilenceBus();
    if (failure == Failure::NoBus) ::unsetenv("DBUS_SESSION_BUS_ADDRESS");

    const auto launched = Launch();
    ASSERT_TRUE(launched) << launched.error().message;
    const auto report = Report();
    EXPECT_EQ(report.at("pid"), std::to_string(launched->pid));
    EXPECT_EQ(report.at("env-DISPLAY"), ":0");
    EXPECT_EQ(launched->scope, std::nullopt);
    ASSERT_TRUE(launched->scope_failure);
    const char* expected = failure == Failure::Refusing ? "refused"
                           : failure == Failure::NoBus  ? "no user bus"
                                                        : "did not answer in time";
    EXPECT_NE(launched->scope_failure->find(expected), std::string::npos)
        << *launched->scope_failure;
    EXPECT_TRUE(bus_.ManagerCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Failures, ScopedLaunchFailure,
                         ::testing::Values(Failure::Refusing, Failure::SilentManager,
                                           Failure::SilentBus, Failure::NoBus),
                         [](const auto& param) {
                             switch (param.param) {
                                 case Failure::Refusing: return "Refusing";
                                 case Failure::SilentManager: return "SilentManager";
                                 case Failure::SilentBus: return "SilentBus";
                                 case Failure::NoBus: return "NoBus";
                             }
                             return "";
                         });

TEST_F(ScopedLaunchTest, AMissingApplicationIsTheLaunchsError) {
    ASSERT_TRUE(bus_.StartManager());
    const std::byte parameters[] = {std::byte{1}};
    const auto launched =
        launch_application_in_scope(env_.base() / "Nothing.app", parameters, "tester");
    ASSERT_FALSE(launched);
    EXPECT_EQ(launched.error().status, -43);
    EXPECT_TRUE(bus_.ManagerCalls().empty());
}

}  // namespace
