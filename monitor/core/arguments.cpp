#include "monitor/core/arguments.hpp"

#include <string_view>

#include "velmora/version.hpp"

namespace monitor {

namespace {

constexpr const char* kHelp =
    "Usage: button-monitor [--help | --version]\n"
    "\n"
    "Serves the Velmora all-in-one scanner's panel buttons (USB) and network scan requests\n"
    "(the message port OSPREY_HID_MSG_PORT), asks Scan Hub to scan, and keeps the scanner's\n"
    "status preferences. It runs in the background of a user's login, started by the systemd\n"
    "user unit button-monitor.service, and ends on SIGTERM or SIGINT.\n"
    "\n"
    "It reads no configuration and takes no other arguments. Standard error carries the unique\n"
    "number of each network event; what goes wrong is in the journal:\n"
    "  journalctl --user -u button-monitor.service\n"
    "\n"
    "  --help     print this and exit\n"
    "  --version  print the version and exit\n";

}  // namespace

const char* MonitorVersion() { return velmora::version; }

std::optional<std::string> AnswerArguments(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help") return std::string(kHelp);
        if (argument == "--version")
            return std::string("button-monitor ") + MonitorVersion() + "\n";
    }
    return std::nullopt;
}

}  // namespace monitor
