// button-monitor: watches the all-in-one's panel buttons on USB, serves the network button port
// "OSPREY_HID_MSG_PORT", and asks the scan-destination application to scan. It takes no
// arguments, prints nothing but the unique number of each network event, and always exits 0.

#include <csignal>
#include <memory>

#include "monitor/core/quit_signal.hpp"
#include "monitor/core/scanner_pref_keys.hpp"
#include "monitor/core/scanner_prefs.hpp"
#include "monitor/core/standard_streams.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/usb/all_in_one_ids.hpp"
#include "monitor/usb/usb_device_watcher.hpp"
#include "platform/plist/value.hpp"
#include "platform/runloop/run_loop.hpp"

int main() {
    monitor::OpenMissingStandardStreams();
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
    if (watcher->Start() == 0) platform::runloop::RunLoop::main().run_until_quit();

    watcher.reset();
    server->Stop();
    server.reset();
    return 0;
}
