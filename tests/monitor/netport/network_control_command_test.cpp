// Control commands of network button events: the destination list refresh and the end of a
// network scan, with a scanner library that opens and with one that does not (not installed, or
// its code does not load: Open fails alike).

#include <gtest/gtest.h>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "tests/monitor/netport/recorded_calls.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using monitor::ButtonPortServer;
using netport_testing::RecordedCalls;
using platform::plist::Value;
using Calls = std::vector<std::string>;

const std::string RefreshNumber = "UNIQUE_NUMBER = 20";
const std::string NetworkScanning = "IsNetworkScanning = true";
const std::string NoNetworkScan = "IsNetworkScanning = false";
const std::string NoRemoteAddress = "RemoteIPAddress = \"\"";
constexpr std::int32_t LibraryMissing = -4960;

class NetworkControlCommand : public ::testing::Test {
protected:
    void SetUp() override {
        netport_testing::ClearRecordedCalls();
        netport_testing::SetOpenResult(0);
    }

    std::int32_t Handle(std::uint8_t operation) {
        const auto message = monitor::MessageBytes(
            monitor::NetworkButtonEvent{{1, 2, 0, 0, 0, 0, operation, 0}, {192, 168, 1, 20}});
        EXPECT_TRUE(server.CopyMessage(message));
        return server.HandleNetworkEvent();
    }

    testing_support::IsolatedEnvironment env;
    ButtonPortServer server;
};

TEST_F(NetworkControlCommand, ARefreshSendsTheListAndKeepsTheRemoteAddress) {
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("10.0.0.5"));
    netport_testing::ClearRecordedCalls();

    EXPECT_EQ(Handle(monitor::RefreshDestinationListOperation), 0);
    EXPECT_EQ(RecordedCalls(), (Calls{RefreshNumber, NetworkScanning, "Open -> 0",
                                      "SendDestinationList -> 0", "Close"}));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string("10.0.0.5"));
    EXPECT_EQ(server.Report(), (std::array<std::uint8_t, 8>{}));
}

TEST_F(NetworkControlCommand, ARefreshWithoutALibraryClearsTheNetworkScan) {
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("10.0.0.5"));
    netport_testing::ClearRecordedCalls();
    netport_testing::SetOpenResult(LibraryMissing);
    EXPECT_EQ(Handle(monitor::RefreshDestinationListOperation), 0);
    EXPECT_EQ(RecordedCalls(), (Calls{RefreshNumber, NetworkScanning, "Open -> -4960",
                                      NoNetworkScan, NoRemoteAddress}))
        << "Close is not called";
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsNetworkScanning), Value::boolean(false));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string(""));
}

TEST_F(NetworkControlCommand, TheEndOfANetworkScanClearsTheStatusThenEndsItInTheLibrary) {
    EXPECT_EQ(Handle(monitor::EndNetworkScanOperation), 0);
    EXPECT_EQ(RecordedCalls(), (Calls{RefreshNumber, NoNetworkScan, NoRemoteAddress, "Open -> 0",
                                      "EndNetworkScan", "Close"}));
}

TEST_F(NetworkControlCommand, TheEndOfANetworkScanClosesTheLibraryEvenWhenOpenFailed) {
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    netport_testing::ClearRecordedCalls();
    netport_testing::SetOpenResult(LibraryMissing);
    EXPECT_EQ(Handle(monitor::EndNetworkScanOperation), 0);
    EXPECT_EQ(RecordedCalls(),
              (Calls{RefreshNumber, NoNetworkScan, NoRemoteAddress, "Open -> -4960", "Close"}));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsNetworkScanning), Value::boolean(false));
}

}  // namespace
