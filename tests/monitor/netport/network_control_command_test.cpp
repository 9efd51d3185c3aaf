// Control commands of network button events: the destination list refresh and the end of a
// network scan, through the sample scanner library installed in the test's private root (or
// through none, or through one whose code does not load).

#include <gtest/gtest.h>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "platform/folders/folders.hpp"
#include "tests/monitor/netport/recorded_calls.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace {

using monitor::ButtonPortServer;
using netport_testing::RecordedCalls;
using platform::plist::Value;
using Calls = std::vector<std::string>;

const std::string RefreshNumber = "UNIQUE_NUMBER = 20";
const std::string NetworkScanning = "IsNetworkScanning = true";
const std::string NoNetworkScan = "IsNetworkScanning = false";
const std::string NoRemoteAddress = "RemoteIPAddress = \"\"";

std::filesystem::path LibraryBundle() {
    return platform::folders::system_path(
        "/Library/Application Support/Velmora/7720 Series Scanner.bundle/Contents/SharedSupport/"
        "7720ScannerLib.bundle");
}

class NetworkControlCommand : public ::testing::Test {
protected:
    void SetUp() override { netport_testing::ClearRecordedCalls(); }

    std::int32_t Handle(std::uint8_t operation) {
        const auto message = monitor::MessageBytes(
            monitor::NetworkButtonEvent{{1, 2, 0, 0, 0, 0, operation, 0}, {192, 168, 1, 20}});
        EXPECT_TRUE(server.CopyMessage(message));
        return server.HandleNetworkEvent();
    }

    // The sample library; returns where it records its calls.
    std::filesystem::path InstallSampleLibrary() {
        const auto made = scanner_sample::make_sample_bundle(SAMPLE_LIBRARY_BUNDLE, LibraryBundle(), {});
        EXPECT_TRUE(made) << made.error().message;
        return scanner_sample::record_path(LibraryBundle(), {});
    }
    // A library bundle whose executable is no loadable code.
    void InstallUnloadableLibrary() {
        InstallSampleLibrary();
        testing_support::write_file(LibraryBundle() / "Contents/MacOS" / scanner_sample::executable_name,
                                    "not code");
    }

    static std::vector<std::string> LibraryCalls(const std::filesystem::path& record) {
        auto calls = scanner_sample::read_record(record);
        if (!calls) return {"(no record)"};
        std::vector<std::string> names;
        for (const auto& call : *calls) names.push_back(call.name);
        return names;
    }

    testing_support::IsolatedEnvironment env;
    ButtonPortServer server;
};

TEST_F(NetworkControlCommand, ARefreshSendsTheListAndKeepsTheRemoteAddress) {
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("10.0.0.5"));
    const auto record = InstallSampleLibrary();
    netport_testing::ClearRecordedCalls();

    EXPECT_EQ(Handle(monitor::RefreshDestinationListOperation), 0);
    EXPECT_EQ(RecordedCalls(),
              (Calls{RefreshNumber, NetworkScanning, "Open -> 0", "SendDestinationList -> 0", "Close"}));
    EXPECT_EQ(LibraryCalls(record),
              (Calls{"EnableScannerEx", "ScanVersion", "DeviceParameterSet", "DisableScanner"}));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string("10.0.0.5"));
    EXPECT_EQ(server.Report(), (std::array<std::uint8_t, 8>{}));
}

TEST_F(NetworkControlCommand, ARefreshWithoutALibraryClearsTheNetworkScan) {
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("10.0.0.5"));
    netport_testing::ClearRecordedCalls();
    EXPECT_EQ(Handle(monitor::RefreshDestinationListOperation), 0);
    EXPECT_EQ(RecordedCalls(),
              (Calls{RefreshNumber, NetworkScanning, "Open -> -4960", NoNetworkScan, NoRemoteAddress}))
        << "Close is not called";

    netport_testing::ClearRecordedCalls();
    InstallUnloadableLibrary();
    EXPECT_EQ(Handle(monitor::RefreshDestinationListOperation), 0);
    EXPECT_EQ(RecordedCalls(),
              (Calls{RefreshNumber, NetworkScanning, "Open -> -4960", NoNetworkScan, NoRemoteAddress}));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsNetworkScanning), Value::boolean(false));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string(""));
}

TEST_F(NetworkControlCommand, TheEndOfANetworkScanClearsTheStatusThenEndsItInTheLibrary) {
    const auto record = InstallSampleLibrary();
    EXPECT_EQ(Handle(monitor::EndNetworkScanOperation), 0);
    // The library's EndNetworkScan writes the same two values again before its call.
    EXPECT_EQ(RecordedCalls(), (Calls{RefreshNumber, NoNetworkScan, NoRemoteAddress, "Open -> 0",
                                      "EndNetworkScan", NoNetworkScan, NoRemoteAddress, "Close"}));
    EXPECT_EQ(LibraryCalls(record), (Calls{"EnableScannerEx", "EndNetworkScan", "DisableScanner"}));
}

TEST_F(NetworkControlCommand, TheEndOfANetworkScanClosesTheLibraryEvenWhenOpenFailed) {
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    netport_testing::ClearRecordedCalls();
    EXPECT_EQ(Handle(monitor::EndNetworkScanOperation), 0);
    EXPECT_EQ(RecordedCalls(), (Calls{RefreshNumber, NoNetworkScan, NoRemoteAddress, "Open -> -4960", "Close"}));

    netport_testing::ClearRecordedCalls();
    InstallUnloadableLibrary();
    EXPECT_EQ(Handle(monitor::EndNetworkScanOperation), 0);
    EXPECT_EQ(RecordedCalls(), (Calls{RefreshNumber, NoNetworkScan, NoRemoteAddress, "Open -> -4960", "Close"}));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsNetworkScanning), Value::boolean(false));
}

}  // namespace
