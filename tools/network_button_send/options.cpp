#include "tools/network_button_send/options.hpp"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace button_send {

const char* const help_text =
    R"(Usage: network-button-send [options] COMMAND [ARGUMENTS]

Sends one network button event to the button monitor's message port, as the program that
forwards the button events of a network-attached all-in-one does: a 12-byte message of eight
report bytes and the device's IPv4 address. The monitor sends no reply.

Commands (the report bytes they make, in hexadecimal):
  scan --type N [--direct N] [--resolution N]
                       a scan request: 01 01 RESOLUTION 00 00 00 TYPE DIRECT. Type 0 asks for
                       no scan, 7 is refused, any other type starts a scan of that type
  refresh              a destination list refresh: 01 02 00 00 00 00 01 00
  end-scan             the end of a network scan: 01 02 00 00 00 00 99 00
  raw B0 B1 B2 B3 B4 B5 B6 B7
                       the eight report bytes as given

Options (a value may also follow an "=": --address=10.0.0.5):
  -a, --address A.B.C.D    the device's IPv4 address (required)
  -p, --port NAME          the port to send to (default OSPREY_HID_MSG_PORT)
  -m, --message-id N       the message ID, signed 32-bit (default 0; the monitor accepts any)
  -t, --type N, -d, --direct N, -r, --resolution N
                           the values of a scan request
  -h, --help               show this text
  -V, --version            show the version

Numbers are decimal, or hexadecimal with 0x; bytes and the --type, --direct and --resolution
values are 0 to 255 (default 0). The port is looked up in $XDG_RUNTIME_DIR/msgports.

Exit status: 0 when the message was sent; 1 when nobody serves the port or sending failed;
2 for a bad command line.
)";

namespace {

template <class Integer>
std::optional<Integer> parse_number(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    Integer value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

platform::Result<std::uint8_t> parse_byte(const std::string& what, const std::string& text) {
    auto value = parse_number<unsigned>(text);
    if (!value || *value > 255)
        return platform::Error{what + " is a byte (0 to 255), not \"" + text + "\""};
    return static_cast<std::uint8_t>(*value);
}

// The options of the scan command: zero until given.
struct ScanValues {
    std::optional<std::uint8_t> type;
    std::uint8_t direct = 0;
    std::uint8_t resolution = 0;
    bool any_given = false;
};

}  // namespace

platform::Result<Options> parse_options(const std::vector<std::string>& arguments) {
    enum : std::size_t { Address, Port, MessageId, Type, Direct, Resolution };
    static constexpr tools::command_line::Option table[] = {
        {"address", 'a', true}, {"port", 'p', true},   {"message-id", 'm', true},
        {"type", 't', true},    {"direct", 'd', true}, {"resolution", 'r', true},
    };
    Options options;
    ScanValues scan;
    bool have_address = false;

    auto read = tools::command_line::read(
        arguments, table,
        [&](std::size_t option, const std::string& value) -> platform::Result<void> {
            switch (option) {
                case Address: {
                    in_addr parsed{};
                    if (::inet_pton(AF_INET, value.c_str(), &parsed) != 1) {
                        return platform::Error{"an address is A.B.C.D, not \"" + value + "\""};
                    }
                    std::memcpy(options.event.address.data(), &parsed.s_addr,
                                options.event.address.size());
                    have_address = true;
                    return {};
                }
                case Port: options.port = value; return {};
                case MessageId: {
                    auto id = parse_number<std::int32_t>(value);
                    if (!id) {
                        return platform::Error{"a message ID is a signed 32-bit number, not \"" +
                                               value + "\""};
                    }
                    options.message_id = *id;
                    return {};
                }
                default: {
                    auto byte = parse_byte(std::string("--") + table[option].name, value);
                    if (!byte) return byte.error();
                    scan.any_given = true;
                    if (option == Type) {
                        scan.type = *byte;
                    } else if (option == Direct) {
                        scan.direct = *byte;
                    } else {
                        scan.resolution = *byte;
                    }
                    return {};
                }
            }
        });
    if (!read) return read.error();
    options.request = read->request;
    if (options.request != tools::command_line::Request::Run) return options;
    const std::vector<std::string>& words = read->operands;
    if (words.empty()) return platform::Error{"no command given"};
    const std::string& command = words.front();
    const std::vector<std::string> operands(words.begin() + 1, words.end());
    if (!have_address) return platform::Error{"--address is required"};
    if (command != "scan" && scan.any_given) {
        return platform::Error{"--type, --direct and --resolution belong to the scan command"};
    }
    if (command != "raw" && !operands.empty()) {
        return platform::Error{"unexpected argument " + operands.front()};
    }

    auto& report = options.event.report;
    if (command == "scan") {
        if (!scan.type) return platform::Error{"scan needs --type"};
        report[monitor::ReportMarkerByte] = monitor::EventMarker;
        report[monitor::ReportCommandByte] = monitor::ScanRequestCommand;
        report[monitor::ReportResolutionByte] = scan.resolution;
        report[monitor::ReportScanTypeByte] = *scan.type;
        report[monitor::ReportDirectValueByte] = scan.direct;
    } else if (command == "refresh" || command == "end-scan") {
        report[monitor::ReportMarkerByte] = monitor::EventMarker;
        report[monitor::ReportCommandByte] = monitor::ControlCommand;
        report[monitor::ReportOperationByte] = command == "refresh"
                                                   ? monitor::RefreshDestinationListOperation
                                                   : monitor::EndNetworkScanOperation;
    } else if (command == "raw") {
        if (operands.size() != report.size()) {
            return platform::Error{"raw needs the eight report bytes"};
        }
        for (std::size_t i = 0; i < report.size(); ++i) {
            auto byte = parse_byte("report byte " + std::to_string(i), operands[i]);
            if (!byte) return byte.error();
            report[i] = *byte;
        }
    } else {
        return platform::Error{"unknown command " + command};
    }
    return options;
}

std::string describe_event(const monitor::NetworkButtonEvent& event) {
    std::string text;
    char hex[4];
    for (const std::uint8_t byte : event.report) {
        std::snprintf(hex, sizeof hex, "%02x ", byte);
        text += hex;
    }
    text += "/ ";
    for (std::size_t i = 0; i < event.address.size(); ++i) {
        if (i > 0) text += '.';
        text += std::to_string(event.address[i]);
    }
    return text;
}

}  // namespace button_send
