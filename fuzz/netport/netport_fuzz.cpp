// Arbitrary messages through ButtonPortServer::OnPortMessage and the handling of network button
// events, with the outside world in a temporary view: the preferences, the scanner library
// (the sample library bundle at its install location) and the scan-destination application
// (its event socket, served here).
//
// An input is a sequence of messages, each one length byte followed by that many payload bytes
// (fewer at the end of the input). After each message the server's fields, the preferences and
// the events that reached the application must be what the message asks for.

#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/netport/dotted_quad_string.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "platform/appevents/codes.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/folders/folders.hpp"
#include "platform/msgport/named_socket.hpp"
#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace {

using platform::plist::Value;

void Check(bool condition) {
    if (!condition) std::abort();
}

void RemoveView();

// The temporary view, made on first use and removed at exit.
struct View {
    std::filesystem::path base;
    std::filesystem::path record;  // the sample library's calls
    std::optional<platform::msgport::NamedSocket> application;

    View() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmora-fuzz-netport-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        base = pattern;
        for (const char* sub : {"runtime", "config", "home", "root"})
            std::filesystem::create_directories(base / sub);
        std::filesystem::permissions(base / "runtime", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        ::setenv("XDG_RUNTIME_DIR", (base / "runtime").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
        ::setenv("HOME", (base / "home").c_str(), 1);
        platform::folders::set_root(base / "root");
        const auto library = platform::folders::system_path(
            "/Library/Application Support/Velmora/7720 Series "
            "Scanner.bundle/Contents/SharedSupport/"
            "7720ScannerLib.bundle");
        scanner_sample::Settings settings;
        record = base / "library.record";
        settings.record_file = record;
        Check(scanner_sample::make_sample_bundle(SAMPLE_LIBRARY_BUNDLE, library, settings).ok());
        // The library's code carries coverage counters, which libFuzzer reads after every input:
        // it must stay mapped when the monitor unloads it at the end of each use.
        Check(::dlopen((library / "Contents/MacOS" / scanner_sample::executable_name).c_str(),
                       RTLD_NOW | RTLD_NODELETE) != nullptr);
        auto claimed = platform::msgport::NamedSocket::claim("appevents", "QH06");
        Check(claimed.ok());
        application.emplace(std::move(claimed).value());
    }
};

View& TheView() {
    static View view;
    // Registered after the view is made, so it runs before the view is destroyed.
    static const bool removedAtExit = std::atexit(RemoveView) == 0;
    (void)removedAtExit;
    return view;
}

void RemoveView() {
    std::error_code ignored;
    std::filesystem::remove_all(TheView().base, ignored);
}

// The events that reached the application since the last call.
std::vector<platform::appevents::Event> ReceivedEvents() {
    std::vector<platform::appevents::Event> events;
    std::vector<std::byte> buffer(platform::appevents::max_event_size);
    for (;;) {
        auto received = TheView().application->receive(buffer);
        if (!received || !*received) return events;
        auto event = platform::appevents::decode_event(std::span(buffer).first((*received)->size));
        Check(event.ok());
        events.push_back(std::move(*event));
    }
}

std::string AddressText(const platform::appevents::Event& event) {
    const auto* descriptor = event.parameter(platform::four_char_code("rmip"));
    Check(descriptor != nullptr);
    std::string text;
    const auto data = descriptor->data();
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t unit = 0;
        std::memcpy(&unit, data.data() + i, sizeof unit);
        Check(unit < 0x80);
        text += static_cast<char>(unit);
    }
    return text;
}

void CheckMessage(monitor::ButtonPortServer& server, std::span<const std::uint8_t> payload) {
    const auto reportBefore = server.Report();
    const auto addressBefore = server.Address();
    const auto scanTypeBefore = server.ScanType();
    server.OnPortMessage(0, std::as_bytes(payload));
    const auto events = ReceivedEvents();

    if (payload.size() != monitor::NetworkButtonEventSize) {
        Check(server.Report() == reportBefore && server.Address() == addressBefore);
        Check(events.empty());
        return;
    }
    const std::uint8_t marker = payload[monitor::ReportMarkerByte];
    const std::uint8_t command = payload[monitor::ReportCommandByte];
    const std::uint8_t scanType = payload[monitor::ReportScanTypeByte];
    const bool scanRequest = marker == 1 && command == monitor::ScanRequestCommand;
    const bool refused = scanRequest && scanType == monitor::RefusedScanType;
    const bool launched = scanRequest && scanType != 0 && !refused;

    for (std::size_t i = 0; i < 4; ++i)
        Check(server.Address()[i] == payload[monitor::AddressOffset + i]);
    for (std::size_t i = 0; i < 8; ++i) Check(server.Report()[i] == (refused ? payload[i] : 0));
    Check(server.ScanType() == (scanRequest && scanType != 0 ? scanType : scanTypeBefore));
    if (marker == 1) {
        Check(monitor::CopyScannerPref(monitor::UNIQUE_NUMBER).as_integer() ==
              static_cast<std::int8_t>(payload[11]));
    }
    if (scanRequest)
        Check(monitor::CopyScannerPref(monitor::IsNetworkScanning) == Value::boolean(true));
    if (scanRequest && scanType != 0) {
        Check(monitor::CopyScannerPref(monitor::IsCurrentlyScanning) == Value::boolean(true));
    }
    if (marker == 1 && command == monitor::ControlCommand) {
        const std::uint8_t operation = payload[monitor::ReportOperationByte];
        // The library is installed, so a refresh keeps the network scan marked.
        if (operation == monitor::RefreshDestinationListOperation) {
            Check(monitor::CopyScannerPref(monitor::IsNetworkScanning) == Value::boolean(true));
        } else if (operation == monitor::EndNetworkScanOperation) {
            Check(monitor::CopyScannerPref(monitor::IsNetworkScanning) == Value::boolean(false));
            Check(monitor::CopyScannerPref(monitor::RemoteIPAddress) == Value::string(""));
        }
    }
    Check(events.size() == (launched ? 1U : 0U));
    if (launched) {
        Check(AddressText(events.front()) == server.CopyAddressString());
        Check(monitor::CopyScannerPref(monitor::RemoteIPAddress) ==
              Value::string(*server.CopyAddressString()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The library's record would only grow.
    std::error_code ignored;
    std::filesystem::remove(TheView().record, ignored);
    monitor::ButtonPortServer server;
    std::span<const std::uint8_t> input(data, size);
    while (!input.empty()) {
        const std::size_t length = std::min<std::size_t>(input[0], input.size() - 1);
        CheckMessage(server, input.subspan(1, length));
        input = input.subspan(1 + length);
    }
    return 0;
}
