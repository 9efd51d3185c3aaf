// The handling of network button events on the calling thread, which plays the port thread: the
// report's bytes, the preference writes in their order, and the scan request that reaches the
// scan-destination application.

#include <gtest/gtest.h>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/msgport/named_socket.hpp"
#include "tests/monitor/netport/recorded_calls.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tools/scan_destination_standin/event_text.hpp"

namespace {

using monitor::ButtonPortServer;
using netport_testing::RecordedCalls;
using Calls = std::vector<std::string>;
using platform::msgport::NamedSocket;
using platform::plist::IntegerKind;
using platform::plist::Value;
using Report = std::array<std::uint8_t, 8>;
using Address = std::array<std::uint8_t, 4>;

std::string UniqueNumber(int number) { return "UNIQUE_NUMBER = " + std::to_string(number); }
std::string RemoteAddress(const std::string& address) {
    return "RemoteIPAddress = \"" + address + "\"";
}
const std::string NetworkScanning = "IsNetworkScanning = true";
const std::string CurrentlyScanning = "IsCurrentlyScanning = true";

std::vector<std::byte> Message(const Report& report, const Address& address) {
    const auto bytes = monitor::MessageBytes(monitor::NetworkButtonEvent{report, address});
    return {bytes.begin(), bytes.end()};
}

class NetworkEventHandling : public ::testing::Test {
protected:
    void SetUp() override { netport_testing::ClearRecordedCalls(); }

    // The result of handling one message, with what it printed on standard error.
    std::int32_t Handle(const Report& report, const Address& address) {
        EXPECT_TRUE(server.CopyMessage(Message(report, address)));
        ::testing::internal::CaptureStderr();
        const std::int32_t result = server.HandleNetworkEvent();
        shown = ::testing::internal::GetCapturedStderr();
        return result;
    }

    // The scan-destination application's socket, served raw so the test sees each event whole.
    void ServeApplication() {
        auto claimed = NamedSocket::claim("appevents", "QH06");
        ASSERT_TRUE(claimed) << claimed.error().message;
        application.emplace(std::move(claimed).value());
    }
    // The events that reached the application, in their readable form.
    std::vector<std::string> ApplicationEvents() {
        std::vector<std::string> events;
        std::vector<std::byte> buffer(platform::appevents::max_event_size);
        for (;;) {
            auto received = application->receive(buffer);
            if (!received || !*received) return events;
            auto event =
                platform::appevents::decode_event(std::span(buffer).first((*received)->size));
            if (!event) return {"(not an event)"};
            events.push_back(standin::describe_event(*event, "event").value());
        }
    }

    testing_support::IsolatedEnvironment env;
    ButtonPortServer server;
    std::optional<NamedSocket> application;
    std::string shown;
};

std::string ScanEvent(const char* eventId, int direct, int resolution, const char* address) {
    return std::string("event 'BMon' ") + eventId +
           " (return ID -1, transaction ID 0) to 'sign' 'QH06'\n" + "  '----' 'long' " +
           std::to_string(direct) + "\n" + "  'rsln' 'long' " + std::to_string(resolution) + "\n" +
           "  'NtSc' 'true' 01\n" + "  'rmip' 'utxt' \"" + address + "\"\n";
}

TEST_F(NetworkEventHandling, OnlyTwelveByteMessagesAreCopiedWhateverTheirId) {
    const Report report{1, 3, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(server.CopyMessage(Message(report, {10, 0, 0, 5})));
    for (const std::size_t size : {0U, 11U, 13U}) {
        const std::vector<std::byte> other(size, std::byte{0xEE});
        EXPECT_FALSE(server.CopyMessage(other)) << size << " bytes";
        ::testing::internal::CaptureStderr();
        server.OnPortMessage(0, other);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << size << " bytes";
        EXPECT_EQ(server.Report(), report) << size << " bytes";
        EXPECT_EQ(server.Address(), (Address{10, 0, 0, 5})) << size << " bytes";
    }
    EXPECT_TRUE(RecordedCalls().empty());

    // Any message ID is accepted; the message is handled and its report cleared.
    for (const std::int32_t msgid : {0, -1, 0x7fffffff, static_cast<std::int32_t>(0x80000000)}) {
        netport_testing::ClearRecordedCalls();
        ::testing::internal::CaptureStderr();
        server.OnPortMessage(msgid, Message({1, 3, 0, 0, 0, 0, 0, 0}, {10, 0, 0, 7}));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "7\n");
        EXPECT_EQ(RecordedCalls(), Calls{UniqueNumber(7)}) << "message ID " << msgid;
        EXPECT_EQ(server.Report(), Report{});
        EXPECT_EQ(server.Address(), (Address{10, 0, 0, 7}));
    }
}

TEST_F(NetworkEventHandling, AnEventWithoutTheMarkerChangesNothing) {
    for (const std::uint8_t marker : std::array<std::uint8_t, 3>{0, 2, 0xFF}) {
        EXPECT_EQ(Handle({marker, 1, 0, 0, 0, 0, 1, 0}, {10, 0, 0, 5}), -1);
        EXPECT_EQ(shown, "");
        EXPECT_EQ(server.Report(), Report{}) << "cleared all the same";
    }
    EXPECT_TRUE(RecordedCalls().empty());
    EXPECT_FALSE(monitor::CopyScannerPref(monitor::UNIQUE_NUMBER));
    EXPECT_EQ(server.ScanType(), 0U);
}

TEST_F(NetworkEventHandling, TheLastOctetIsRecordedAsASignedByte) {
    EXPECT_EQ(Handle({1, 3, 0, 0, 0, 0, 1, 0}, {10, 0, 0, 200}), -1) << "unknown command";
    EXPECT_EQ(shown, "-56\n");
    EXPECT_EQ(RecordedCalls(), Calls{UniqueNumber(-56)});
    const Value stored = monitor::CopyScannerPref(monitor::UNIQUE_NUMBER);
    EXPECT_EQ(stored.as_integer(), -56);
    EXPECT_EQ(stored.integer_kind(), IntegerKind::SInt8);

    netport_testing::ClearRecordedCalls();
    EXPECT_EQ(Handle({1, 0, 0, 0, 0, 0, 1, 0}, {192, 168, 1, 127}), -1);
    EXPECT_EQ(shown, "127\n");
    EXPECT_EQ(RecordedCalls(), Calls{UniqueNumber(127)});
}

TEST_F(NetworkEventHandling, AScanRequestIsRecordedAndSentWithTheAddress) {
    ServeApplication();
    EXPECT_EQ(Handle({1, 1, 44, 9, 9, 9, 3, 5}, {10, 0, 0, 5}), 0);
    EXPECT_EQ(shown, "5\n");
    EXPECT_EQ(RecordedCalls(), (Calls{UniqueNumber(5), NetworkScanning, CurrentlyScanning,
                                      NetworkScanning, RemoteAddress("10.0.0.5")}));
    EXPECT_EQ(ApplicationEvents(), std::vector{ScanEvent("'x771'", 5, 44, "10.0.0.5")});
    EXPECT_EQ(server.ScanType(), 3U);
    EXPECT_EQ(server.DirectValue(), 5U);
    EXPECT_EQ(server.Resolution(), 44U);
    EXPECT_EQ(server.Report(), Report{});
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string("10.0.0.5"));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsCurrentlyScanning), Value::boolean(true));
}

TEST_F(NetworkEventHandling, ScanTypesAndValuesArePassedOnUnchanged) {
    ServeApplication();
    EXPECT_EQ(Handle({1, 1, 255, 0, 0, 0, 2, 0}, {255, 255, 255, 255}), 0);
    EXPECT_EQ(Handle({1, 1, 0, 0, 0, 0, 4, 255}, {0, 0, 0, 0}), 0);
    EXPECT_EQ(Handle({1, 1, 1, 0, 0, 0, 153, 1}, {1, 2, 3, 4}), 0);
    EXPECT_EQ(ApplicationEvents(), (std::vector{ScanEvent("'x772'", 0, 255, "255.255.255.255"),
                                                ScanEvent("0x00000000", 255, 0, "0.0.0.0"),
                                                ScanEvent("0x00000000", 1, 1, "1.2.3.4")}));
    EXPECT_EQ(server.ScanType(), 153U);
}

TEST_F(NetworkEventHandling, ScanTypeZeroOnlyMarksTheNetworkScan) {
    ServeApplication();
    ASSERT_EQ(Handle({1, 1, 7, 0, 0, 0, 2, 8}, {10, 0, 0, 5}), 0);
    netport_testing::ClearRecordedCalls();
    ApplicationEvents();

    EXPECT_EQ(Handle({1, 1, 99, 0, 0, 0, 0, 99}, {10, 0, 0, 6}), 0);
    EXPECT_EQ(RecordedCalls(), (Calls{UniqueNumber(6), NetworkScanning}));
    EXPECT_TRUE(ApplicationEvents().empty());
    EXPECT_EQ(server.ScanType(), 2U) << "the last request's values are kept";
    EXPECT_EQ(server.DirectValue(), 8U);
    EXPECT_EQ(server.Resolution(), 7U);
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string("10.0.0.5"));
}

TEST_F(NetworkEventHandling, ScanTypeSevenIsRefusedAfterTheScanIsMarked) {
    ServeApplication();
    const Report refused{1, 1, 3, 0, 0, 0, 7, 4};
    EXPECT_EQ(Handle(refused, {10, 0, 0, 5}), -1);
    EXPECT_EQ(RecordedCalls(), (Calls{UniqueNumber(5), NetworkScanning, CurrentlyScanning}));
    EXPECT_TRUE(ApplicationEvents().empty()) << "no application is asked";
    EXPECT_EQ(server.ScanType(), 7U);
    EXPECT_EQ(server.DirectValue(), 4U);
    EXPECT_EQ(server.Resolution(), 3U);
    EXPECT_EQ(server.Report(), refused) << "the refusal returns before the report is cleared";
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsNetworkScanning), Value::boolean(true));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsCurrentlyScanning), Value::boolean(true));
    EXPECT_FALSE(monitor::CopyScannerPref(monitor::RemoteIPAddress));
}

TEST_F(NetworkEventHandling, AScanRequestNobodyTakesStillRecordsTheAddress) {
    // Neither running nor installed: the request fails and that changes nothing here.
    EXPECT_EQ(Handle({1, 1, 0, 0, 0, 0, 1, 0}, {172, 16, 0, 1}), 0);
    EXPECT_EQ(RecordedCalls(), (Calls{UniqueNumber(1), NetworkScanning, CurrentlyScanning,
                                      NetworkScanning, RemoteAddress("172.16.0.1")}));
}

TEST_F(NetworkEventHandling, UnknownControlOperationsOnlyRecordTheNumber) {
    for (const std::uint8_t operation : std::array<std::uint8_t, 4>{0x98, 0x00, 0x02, 0xFF}) {
        netport_testing::ClearRecordedCalls();
        EXPECT_EQ(Handle({1, 2, 0, 0, 0, 0, operation, 0}, {10, 0, 0, 9}), 0);
        EXPECT_EQ(RecordedCalls(), Calls{UniqueNumber(9)}) << int{operation};
    }
}

}  // namespace
