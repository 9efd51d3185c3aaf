#include "tools/network_button_send/options.hpp"

#include <gtest/gtest.h>

namespace {

using button_send::parse_options;
using Report = std::array<std::uint8_t, 8>;

button_send::Options parsed(const std::vector<std::string>& arguments) {
    auto options = parse_options(arguments);
    if (!options) {
        ADD_FAILURE() << options.error().message;
        return {};
    }
    return *options;
}

std::string error_of(const std::vector<std::string>& arguments) {
    auto options = parse_options(arguments);
    return options ? std::string("(accepted)") : options.error().message;
}

TEST(SenderOptions, CommandsMakeTheirReports) {
    const auto scan = parsed({"scan", "--type", "3", "--direct", "0x99", "--resolution", "200",
                              "--address", "10.0.0.200"});
    EXPECT_EQ(scan.event.report, (Report{1, 1, 200, 0, 0, 0, 3, 0x99}));
    EXPECT_EQ(scan.event.address, (std::array<std::uint8_t, 4>{10, 0, 0, 200}));
    EXPECT_EQ(scan.port, "OSPREY_HID_MSG_PORT");
    EXPECT_EQ(scan.message_id, 0);

    EXPECT_EQ(parsed({"--address", "1.2.3.4", "scan", "--type", "0"}).event.report,
              (Report{1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(parsed({"refresh", "--address", "1.2.3.4"}).event.report,
              (Report{1, 2, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(parsed({"end-scan", "--address", "1.2.3.4"}).event.report,
              (Report{1, 2, 0, 0, 0, 0, 0x99, 0}));
    EXPECT_EQ(parsed({"raw", "0", "0xff", "2", "3", "4", "5", "6", "255", "--address", "1.2.3.4"})
                  .event.report,
              (Report{0, 0xff, 2, 3, 4, 5, 6, 255}));
}

TEST(SenderOptions, PortAndMessageId) {
    const auto options =
        parsed({"--port", "other", "--message-id", "-7", "refresh", "--address", "1.2.3.4"});
    EXPECT_EQ(options.port, "other");
    EXPECT_EQ(options.message_id, -7);
    EXPECT_EQ(parsed({"--message-id", "0x7fffffff", "refresh", "--address", "1.2.3.4"}).message_id,
              0x7fffffff);
}

TEST(SenderOptions, BadCommandLinesSayWhatIsWrong) {
    EXPECT_EQ(error_of({"--address", "1.2.3.4"}), "no command given");
    EXPECT_EQ(error_of({"refresh"}), "--address is required");
    EXPECT_EQ(error_of({"scan", "--address", "1.2.3.4"}), "scan needs --type");
    EXPECT_EQ(error_of({"scan", "--type", "256", "--address", "1.2.3.4"}),
              "--type is a byte (0 to 255), not \"256\"");
    EXPECT_EQ(error_of({"refresh", "--type", "1", "--address", "1.2.3.4"}),
              "--type, --direct and --resolution belong to the scan command");
    EXPECT_EQ(error_of({"raw", "1", "2", "--address", "1.2.3.4"}),
              "raw needs the eight report bytes");
    EXPECT_EQ(error_of({"raw", "1", "2", "3", "4", "5", "6", "7", "x", "--address", "1.2.3.4"}),
              "report byte 7 is a byte (0 to 255), not \"x\"");
    EXPECT_EQ(error_of({"refresh", "extra", "--address", "1.2.3.4"}), "unexpected argument extra");
    EXPECT_EQ(error_of({"refresh", "--address", "1.2.3"}), "an address is A.B.C.D, not \"1.2.3\"");
    EXPECT_EQ(error_of({"refresh", "--address"}), "--address needs a value");
    EXPECT_EQ(error_of({"refresh", "--message-id", "2147483648", "--address", "1.2.3.4"}),
              "a message ID is a signed 32-bit number, not \"2147483648\"");
    EXPECT_EQ(error_of({"jump", "--address", "1.2.3.4"}), "unknown command jump");
    EXPECT_EQ(error_of({"--verbose"}), "unknown option --verbose");
    EXPECT_EQ(parsed({"--help"}).request, tools::command_line::Request::Help);
}

TEST(SenderOptions, DescribesTheEventAsSent) {
    monitor::NetworkButtonEvent event;
    event.report = {1, 1, 0x2c, 0, 0, 0, 1, 5};
    event.address = {10, 0, 0, 5};
    EXPECT_EQ(button_send::describe_event(event), "01 01 2c 00 00 00 01 05 / 10.0.0.5");
}

}  // namespace
