#pragma once
// The sender's command line: what event to build and where to send it.

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/netport/network_button_event.hpp"
#include "platform/base/result.hpp"
#include "tools/command_line/command_line.hpp"

namespace button_send {

struct Options {
    monitor::NetworkButtonEvent event;
    std::string port{monitor::ButtonPortName};
    std::int32_t message_id = 0;
    tools::command_line::Request request = tools::command_line::Request::Run;
};

platform::Result<Options> parse_options(const std::vector<std::string>& arguments);

// The event's bytes in hexadecimal, report then address: "01 01 2c 00 00 00 01 05 / 10.0.0.5".
std::string describe_event(const monitor::NetworkButtonEvent& event);

extern const char* const help_text;

}  // namespace button_send
