#include "platform/prefs/location.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

#include "platform/prefs/application_id.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

namespace prefs = platform::prefs;
using prefs::Scope;
using testing_support::IsolatedEnvironment;

std::string this_host_name() {
    std::array<char, 256> name{};
    ::gethostname(name.data(), name.size() - 1);
    return name.data();
}

TEST(PrefsLocation, RootFollowsXdgConfigHomeThenHome) {
    IsolatedEnvironment env;
    EXPECT_EQ(prefs::domain_path("com.example.app", Scope::AnyHost),
              env.config_home() / "Preferences/com.example.app.plist");

    // Unset, empty and relative values all mean the default under the home folder.
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(prefs::preferences_root(), env.home() / ".config/Preferences");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(prefs::preferences_root(), env.home() / ".config/Preferences");
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(prefs::preferences_root(), env.home() / ".config/Preferences");
}

TEST(PrefsLocation, PerHostFilesUseTheFirstLineOfTheMachineId) {
    IsolatedEnvironment env;
    testing_support::write_file(env.root() / "etc/machine-id", "0123abcd\nsecond line\n");
    EXPECT_EQ(prefs::domain_path("com.example.app", Scope::CurrentHost),
              env.config_home() / "Preferences/ByHost/com.example.app.0123abcd.plist");
}

TEST(PrefsLocation, PerHostFilesFallBackToTheHostNameWithoutMachineId) {
    IsolatedEnvironment env;
    EXPECT_EQ(prefs::host_id(), this_host_name());
}

TEST(PrefsLocation, AnEmptyMachineIdCountsAsMissing) {
    IsolatedEnvironment env;
    testing_support::write_file(env.root() / "etc/machine-id", "\n");
    EXPECT_EQ(prefs::host_id(), this_host_name());
}

TEST(PrefsLocation, NamesThatAreNotOneFileNameHaveNoFile) {
    IsolatedEnvironment env;
    using namespace std::string_view_literals;
    for (const auto name : {""sv, "."sv, ".."sv, "a/b"sv, "../escape"sv, "a\0b"sv}) {
        EXPECT_FALSE(prefs::domain_path(name, Scope::AnyHost)) << name;
        EXPECT_FALSE(prefs::domain_path(name, Scope::CurrentHost)) << name;
    }
}

TEST(PrefsLocation, TheRunningProgramIsNamedAsItWasStarted) {
    EXPECT_EQ(prefs::current_application_id(), "test_platform_prefs");
}

}  // namespace
