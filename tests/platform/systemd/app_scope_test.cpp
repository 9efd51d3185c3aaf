// Scope names as desktops give them to launched applications, and the display a launched
// application gets from the manager's environment.

#include "platform/systemd/app_scope.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::systemd::app_scope_name;
using platform::systemd::escape_unit_name_part;
using platform::systemd::with_display_of;

struct EscapeCase {
    std::string text;
    std::string escaped;
};

class UnitNameEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(UnitNameEscape, KeepsLettersDigitsColonUnderscoreAndDotOnly) {
    EXPECT_EQ(escape_unit_name_part(GetParam().text), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitNameEscape,
    ::testing::Values(EscapeCase{"com.velmora.ScanHub", "com.velmora.ScanHub"},
                      EscapeCase{"scan-hub", "scan\\x2dhub"},
                      EscapeCase{"Velmora Scan Hub", "Velmora\\x20Scan\\x20Hub"},
                      EscapeCase{".hidden", "\\x2ehidden"}, EscapeCase{"a.b:c_d", "a.b:c_d"},
                      EscapeCase{"x/y\\z", "x\\x2fy\\x5cz"},
                      EscapeCase{"h\xc3\xb4te", "h\\xc3\\xb4te"}, EscapeCase{"", ""}));

TEST(AppScopeName, IsAppLauncherIdAndPidWithNoStrayDash) {
    EXPECT_EQ(app_scope_name("buttonmonitor", "com.velmora.scanhub", 4242),
              "app-buttonmonitor-com.velmora.scanhub-4242.scope");
    // The ID's own dashes are escaped, so the name still splits at its three dashes.
    EXPECT_EQ(app_scope_name("buttonmonitor", "scan-hub", 7),
              "app-buttonmonitor-scan\\x2dhub-7.scope");
}

TEST(AppScopeName, ALongIdIsCutToAValidUnitNameAndNeverInsideAnEscape) {
    for (const std::size_t length : {200U, 240U, 241U, 242U, 243U, 300U}) {
        // Dashes throughout: an escape may fall across any cut.
        std::string id;
        while (id.size() < length) id += "a-";
        const std::string name = app_scope_name("buttonmonitor", id, 123456);
        EXPECT_LE(name.size(), 255U) << length;
        EXPECT_TRUE(name.starts_with("app-buttonmonitor-a\\x2da")) << name;
        EXPECT_TRUE(name.ends_with("-123456.scope")) << name;
        const std::string middle = name.substr(18, name.size() - 18 - 13);
        for (std::size_t at = middle.find('\\'); at != std::string::npos;
             at = middle.find('\\', at + 1)) {
            EXPECT_EQ(middle.substr(at, 4), "\\x2d")
                << "a whole escape at " << at << " of " << name;
        }
    }
}

TEST(DisplayOfTheManager, ReplacesTheDisplayVariablesTheManagerHasAndKeepsTheRest) {
    const std::vector<std::string> own{"HOME=/home/u", "DISPLAY=:0", "XAUTHORITY=/old",
                                       "WAYLAND_DISPLAY=wayland-0", "PATH=/usr/bin"};
    const std::vector<std::string> manager{"PATH=/manager/bin", "DISPLAY=:1",
                                           "XAUTHORITY=/run/user/1000/xauth",
                                           "XDG_SESSION_TYPE=x11", "LANG=C"};
    EXPECT_EQ(with_display_of(own, manager),
              (std::vector<std::string>{
                  "HOME=/home/u", "WAYLAND_DISPLAY=wayland-0", "PATH=/usr/bin", "DISPLAY=:1",
                  "XAUTHORITY=/run/user/1000/xauth", "XDG_SESSION_TYPE=x11"}));
}

TEST(DisplayOfTheManager, AManagerWithoutADisplayLeavesTheProgramsOwn) {
    const std::vector<std::string> own{"DISPLAY=:0", "HOME=/home/u"};
    EXPECT_EQ(with_display_of(own, {}), own);
    EXPECT_EQ(with_display_of(own, {"DISPLAYX=:9", "LANG=C"}), own) << "names match whole";
}

}  // namespace
