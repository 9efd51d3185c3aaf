// button-monitor: watches the all-in-one's panel buttons on USB, serves the network button port
// "OSPREY_HID_MSG_PORT", and asks the scan-destination application to scan. It answers --help
// and --version and ignores any other argument, prints nothing on standard error but the unique
// number of each network event, reports what goes wrong to the journal, tells its service
// manager when it is ready, and always exits 0.

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "monitor/core/arguments.hpp"
#include "monitor/core/monitor_report.hpp"
#include "monitor/core/quit_signal.hpp"
#include "monitor/core/scanner_pref_keys.hpp"
#include "monitor/core/scanner_prefs.hpp"
#include "monitor/core/service_status.hpp"
#include "monitor/core/standard_streams.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/usb/all_in_one_ids.hpp"
#include "monitor/usb/usb_device_watcher.hpp"
#include "platform/diagnostics/reporting.hpp"
#include "platform/plist/value.hpp"
#include "platform/runloop/run_loop.hpp"
#include "platform/systemd/journal_sink.hpp"
#include "platform/systemd/service_notifier.hpp"

int main(int argc, char* argv[]) {
    if (const auto answer = monitor::AnswerArguments(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }

    monitor::OpenMissingStandardStreams();
    // Before any thread: the variable leaves the environment that commands and applications
    // inherit.
    const auto notifier = platform::systemd::ServiceNotifier::from_environment();
    monitor::MonitorStatus().UseNotifier(&notifier);
    if (platform::systemd::report_to_journal(monitor::report::kIdentifier,
                                             monitor::report::kFieldPrefix)) {
        // Its socket is made now, while descriptors are to be had: the entry that says they ran
        // out still gets through.
        platform::diagnostics::report(
            {platform::diagnostics::Priority::Info,
             std::string("button-monitor ") + monitor::MonitorVersion() + " started",
             {{monitor::report::kEvent, "STARTED"}}});
    }

    std::signal(SIGTERM, monitor::HandleQuitSignal);
    std::signal(SIGINT, monitor::HandleQuitSignal);
    // Standard error may be a pipe or socket that nobody reads any more.
    monitor::CatchBrokenPipeSignal();

    // The port (and its thread) lives from here to the end, longer than the USB watch, so
    // network events are handled before the event loop starts and while USB is torn down.
    auto server = std::make_unique<monitor::ButtonPortServer>();
    server->Start();

    monitor::SetScannerPref(monitor::SCAN_DATA_MESSAGE_PORT,
                            platform::plist::Value::string("OSPREY_READ_MSG_PORT"));

    auto watcher = std::make_unique<monitor::UsbDeviceWatcher>(monitor::kAllInOneVendorId,
                                                               monitor::kAllInOneProductId);
    if (watcher->Start() == 0) {
        monitor::MonitorStatus().NotePortState(server->AwaitPortState());
        monitor::MonitorStatus().NotifyReady();
        platform::runloop::RunLoop::main().run_until_quit();
        monitor::MonitorStatus().NotifyStopping();
    } else {
        monitor::MonitorStatus().NotifyWatchFailed(watcher->StartFailure());
    }

    watcher.reset();
    server->Stop();
    server.reset();
    monitor::MonitorStatus().UseNotifier(nullptr);
    return 0;
}
