// The sample scanner library called directly, as the monitor would call it.

#include <gtest/gtest.h>

#include <vector>

#include "monitor/scannerlib/scanner_library_entry_points.h"
#include "platform/bundle/bundle.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace {

using namespace scanner_sample;
using platform::bundle::Bundle;
using platform::bundle::entry_point;

class SampleLibrary : public ::testing::Test {
protected:
    std::filesystem::path folder() const { return temp / "Shared Support" / bundle_name; }

    Bundle Load(const Settings& settings = {}) {
        const auto made = make_sample_bundle(SAMPLE_LIBRARY_BUNDLE, folder(), settings);
        EXPECT_TRUE(made) << made.error().message;
        auto bundle = Bundle::open(folder());
        EXPECT_TRUE(bundle);
        EXPECT_TRUE(bundle->load());
        return std::move(*bundle);
    }
    std::vector<RecordedCall> Recorded(const Settings& settings = {}) const {
        auto calls = read_record(record_path(folder(), settings));
        return calls ? *calls : std::vector<RecordedCall>();
    }

    testing_support::TempDir temp;
};

TEST_F(SampleLibrary, RecordsEveryCallBesideItsBundleAndTheRecordOutlivesTheCode) {
    const std::vector<std::uint8_t> block{0x04, 0xE4, 4, 0, 'F', 'i', 'l', 'e'};
    {
        Bundle library = Load();
        auto* enable = entry_point<decltype(EnableScannerEx)>(library, "EnableScannerEx");
        auto* version = entry_point<decltype(ScanVersion)>(library, "ScanVersion");
        auto* set = entry_point<decltype(DeviceParameterSet)>(library, "DeviceParameterSet");
        auto* end = entry_point<decltype(EndNetworkScan)>(library, "EndNetworkScan");
        auto* disable = entry_point<decltype(DisableScanner)>(library, "DisableScanner");
        ASSERT_TRUE(enable && version && set && end && disable);

        const ScannerDeviceHandle handle = enable(7731, 183);
        EXPECT_NE(handle, 0u);
        std::uint8_t bytes[3] = {9, 9, 9};
        EXPECT_EQ(version(handle, &bytes[0], &bytes[1], &bytes[2]), 1);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 3),
                  (std::vector<std::uint8_t>{1, 0, 0}));
        EXPECT_EQ(set(handle, 1, 1, block.data(), static_cast<std::int32_t>(block.size())), 0);
        EXPECT_EQ(end(handle), 0);
        EXPECT_EQ(disable(handle), 0);
    }
    ASSERT_TRUE(std::filesystem::exists(temp / "Shared Support" / record_file_name));
    const auto calls = Recorded();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].name, "EnableScannerEx");
    EXPECT_EQ(calls[0].number("vendor"), 7731);
    EXPECT_EQ(calls[0].number("product"), 183);
    EXPECT_EQ(calls[2].name, "DeviceParameterSet");
    EXPECT_EQ(calls[2].number("parameter"), 1);
    EXPECT_EQ(calls[2].number("count"), 1);
    EXPECT_EQ(calls[2].number("length"), 8);
    EXPECT_EQ(calls[2].block(), block);
    EXPECT_EQ(calls[3].name, "EndNetworkScan");
    EXPECT_EQ(calls[4].name, "DisableScanner");
    for (const auto& call : calls) {
        EXPECT_TRUE(call.number("pid")) << call.name;
        if (call.name != "EnableScannerEx") {
            EXPECT_EQ(call.number("handle"), calls[0].number("result"));
        }
    }
}

TEST_F(SampleLibrary, AnEnableWhileAnotherHandleIsEnabledIsAnOverlap) {
    Bundle library = Load();
    auto* enable = entry_point<decltype(EnableScannerEx)>(library, "EnableScannerEx");
    auto* disable = entry_point<decltype(DisableScanner)>(library, "DisableScanner");
    const auto first = enable(7731, 183);
    const auto second = enable(7731, 183);
    EXPECT_NE(first, second);
    disable(first);
    disable(second);
    const auto third = enable(7731, 183);
    disable(third);

    std::vector<std::string> names;
    for (const auto& call : Recorded()) names.push_back(call.name);
    EXPECT_EQ(names, (std::vector<std::string>{"EnableScannerEx", "EnableScannerEx", "Overlap",
                                               "DisableScanner", "DisableScanner",
                                               "EnableScannerEx", "DisableScanner"}));
    const auto overlap = Recorded()[2];
    EXPECT_EQ(overlap.number("handle"), second);
    EXPECT_EQ(overlap.number("enabled"), first);
}

TEST_F(SampleLibrary, SettingsAreReadAtEveryCall) {
    Settings settings;
    settings.scan_version_result = 0;
    settings.scan_version_bytes = {7, 8, 1};
    settings.parameter_set_delay = std::chrono::milliseconds(20);
    settings.record_file = temp / "elsewhere.record";
    Bundle library = Load(settings);
    auto* version = entry_point<decltype(ScanVersion)>(library, "ScanVersion");
    auto* set = entry_point<decltype(DeviceParameterSet)>(library, "DeviceParameterSet");
    std::uint8_t bytes[3] = {};
    EXPECT_EQ(version(1, &bytes[0], &bytes[1], &bytes[2]), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 3), (std::vector<std::uint8_t>{7, 8, 1}));
    const std::uint8_t empty[4] = {};
    set(1, 1, 1, empty, 4);

    ASSERT_TRUE(write_settings(folder(), Settings{}));
    EXPECT_EQ(version(1, &bytes[0], &bytes[1], &bytes[2]), 1);

    const auto elsewhere = Recorded(settings);
    ASSERT_EQ(elsewhere.size(), 2u);
    EXPECT_EQ(elsewhere[0].number("flags"), 1);
    EXPECT_EQ(elsewhere[0].number("result"), 0);
    EXPECT_EQ(elsewhere[1].number("delay"), 20);
    ASSERT_EQ(Recorded().size(), 1u) << "back beside the bundle once the setting is gone";
}

TEST_F(SampleLibrary, MalformedSettingsFallBackToTheDefaults) {
    testing_support::write_file(
        folder() / settings_file,
        "<plist><dict><key>ScanVersionBytes</key><array><integer>1</integer>"
        "<integer>300</integer><integer>1</integer></array>"
        "<key>DeviceParameterSetDelay</key><integer>-5</integer>"
        "<key>RecordFile</key><string>relative.record</string></dict></plist>");
    const auto settings = read_settings(folder());
    EXPECT_EQ(settings.scan_version_bytes, (std::array<std::uint8_t, 3>{1, 0, 0}));
    EXPECT_EQ(settings.parameter_set_delay.count(), 0);
    EXPECT_FALSE(settings.record_file);
    EXPECT_EQ(record_path(folder() / "", settings), temp / "Shared Support" / record_file_name);
}

}  // namespace
