// network-button-send: sends one network button event to the button monitor's message port.
// `network-button-send --help` says how.

#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/os_status.hpp"
#include "platform/msgport/local_port.hpp"
#include "tools/command_line/command_line.hpp"
#include "tools/network_button_send/options.hpp"

int main(int argc, char** argv) {
    auto options = button_send::parse_options(std::vector<std::string>(argv + 1, argv + argc));
    if (auto status = tools::command_line::finish_early("network-button-send", options,
                                                        button_send::help_text)) {
        return *status;
    }
    const auto bytes = monitor::MessageBytes(options->event);
    auto sent = platform::msgport::send_message(options->port, options->message_id, bytes);
    if (!sent) {
        if (sent.error().status == platform::os_status::procNotFound) {
            std::fprintf(stderr, "network-button-send: nobody serves %s\n", options->port.c_str());
        } else {
            std::fprintf(stderr, "network-button-send: %s\n", sent.error().message.c_str());
        }
        return 1;
    }
    std::printf("sent %s to %s\n", button_send::describe_event(options->event).c_str(),
                options->port.c_str());
    return 0;
}
