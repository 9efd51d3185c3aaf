// Button codes, framework loading and the dispatch of a read that fails. Dispatches that run
// commands are in button_reports_test.cpp, in a view where those commands are recorders.

#include "monitor/usb/button_dispatch.hpp"

#include <gtest/gtest.h>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/usb/all_in_one_ids.hpp"
#include "monitor/usb/hid_button_device.hpp"
#include "platform/base/os_status.hpp"
#include "platform/plist/describe.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using platform::plist::Value;

TEST(ButtonCode, IsSlotOneAboveTheUpperHalfOfSlotTwo) {
    EXPECT_EQ(monitor::ButtonCode(0x02, 0x25), 34U);
    EXPECT_EQ(monitor::ButtonCode(0x02, 0x30), 35U);
    EXPECT_EQ(monitor::ButtonCode(0x04, 0x1F), 65U);
    EXPECT_EQ(monitor::ButtonCode(0x04, 0x2A), 66U);
    EXPECT_EQ(monitor::ButtonCode(0x10, 0x00), 256U);
    EXPECT_EQ(monitor::ButtonCode(0x00, 0x2F), 2U);
    EXPECT_EQ(monitor::ButtonCode(0xFF, 0xFF), 0xFFFU);
    EXPECT_EQ(monitor::ButtonCode(0x1FF, -1), 0xFFFU) << "bytes only";
}

TEST(LoadFrameworkBundle, LoadsTheSystemFrameworkWithItsSystemFunction) {
    testing_support::IsolatedEnvironment env;
    std::optional<platform::bundle::Bundle> bundle;
    ASSERT_EQ(monitor::LoadFrameworkBundle("System.framework", &bundle), 0);
    ASSERT_TRUE(bundle.has_value());
    EXPECT_TRUE(bundle->is_loaded());
    EXPECT_NE(bundle->symbol("system"), nullptr);
}

TEST(LoadFrameworkBundle, AnswersMinusOneWithoutAPlaceAndMinus4960WithoutABundle) {
    testing_support::IsolatedEnvironment env;
    EXPECT_EQ(monitor::LoadFrameworkBundle("System.framework", nullptr), -1);

    auto placeholder = platform::bundle::Bundle::open(env.root());
    ASSERT_TRUE(placeholder.ok());
    std::optional<platform::bundle::Bundle> bundle(std::move(placeholder.value()));
    EXPECT_EQ(monitor::LoadFrameworkBundle("Missing.framework", &bundle),
              platform::os_status::coreFoundationUnknownErr);
    EXPECT_FALSE(bundle.has_value()) << "the place is emptied";

    // A framework folder without loadable code.
    std::filesystem::create_directories(env.root() / "System/Library/Frameworks/Empty.framework");
    EXPECT_EQ(monitor::LoadFrameworkBundle("Empty.framework", &bundle),
              platform::os_status::coreFoundationUnknownErr);
    EXPECT_FALSE(bundle.has_value());
}

// A reader that never opened: its read fails, so only the restore step of the dispatch acts.
class FailedReadDispatch : public ::testing::Test {
protected:
    void Dispatch() {
        monitor::HidButtonDevice reader(monitor::kAllInOneVendorId, monitor::kAllInOneProductId,
                                        monitor::kButtonCodeUsage, monitor::kButtonParameterUsage,
                                        0);
        monitor::DispatchButtonEvents(reader);
    }
    static Value Pref(std::string_view key) { return monitor::CopyScannerPref(key); }

    testing_support::IsolatedEnvironment env;
};

TEST_F(FailedReadDispatch, ChangesNothingWhenNoScanIsInProgress) {
    Dispatch();
    EXPECT_TRUE(Pref(monitor::IsNetworkScanning).is_null());
    EXPECT_TRUE(Pref(monitor::IsCurrentlyScanning).is_null());

    monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(false));
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    Dispatch();
    EXPECT_EQ(Pref(monitor::IsNetworkScanning), Value::boolean(true));
    EXPECT_EQ(Pref(monitor::IsCurrentlyScanning), Value::boolean(false));
}

TEST_F(FailedReadDispatch, WritesTheNetworkFlagBackAsItWasWhileAScanIsInProgress) {
    monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(true));
    Dispatch();
    EXPECT_TRUE(Pref(monitor::IsNetworkScanning).is_null()) << "absent stays absent";
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    Dispatch();
    EXPECT_EQ(Pref(monitor::IsNetworkScanning), Value::boolean(true));
    EXPECT_EQ(Pref(monitor::IsCurrentlyScanning), Value::boolean(true));
}

}  // namespace
