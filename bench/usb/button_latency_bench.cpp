// How long a panel button takes: from an input report written to the device's hidraw node
// until its command is started with system(). The command itself is not run: this program
// defines system(), which the dispatch linked into it calls, to take the time and return.
// For comparison, the same road up to the queue's callout only (no preferences, no dispatch).
//
// Needs umockdev's preload library, which emulates the device and its node:
//   LD_PRELOAD=libumockdev-preload.so.0 build/bench/usb/bench_usb_button_latency
//
// Preferences go to a private temporary folder. The emulated node is a pseudo-terminal, a
// little slower than a real hidraw node; the time of a real USB interrupt transfer is not in.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "monitor/usb/all_in_one_ids.hpp"
#include "monitor/usb/hid_button_device.hpp"
#include "platform/runloop/run_loop.hpp"
#include "platform/usb/hid_device.hpp"
#include "platform/usb/hid_device_queue.hpp"
#include "platform/usb/hid_interface.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/usb_testbed.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using platform::runloop::RunLoop;

// The vendor panel: button code (usage 166) and parameter (usage 167), one byte each.
const std::vector<std::uint8_t> kPanelDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
    0x08, 0x95, 0x01, 0x09, 0xA6, 0x81, 0x02, 0x09, 0xA7, 0x81, 0x02, 0xC0,
};
// Two buttons with commands, 256 and 2, pressed in turn: each report changes both values.
const std::vector<std::uint8_t> kReports[2] = {{0x10, 0x00}, {0x00, 0x20}};

std::optional<Clock::time_point> reached;

void Reached() {
    reached = Clock::now();
    RunLoop::main().stop();
}

// Runs the main loop until Reached(); false after a second without it.
bool RunUntilReached() {
    auto guard = RunLoop::main().add_timer(std::chrono::seconds(1), [] { RunLoop::main().stop(); });
    RunLoop::main().run();
    return reached.has_value();
}

struct Bed {
    testing_support::IsolatedEnvironment env;
    testing_support::UsbTestbed testbed;
    testing_support::TestUsbDevice panel;
    Bed() {
        testing_support::HidDeviceSpec wanted;
        wanted.report_descriptor = kPanelDescriptor;
        panel = testbed.add_hid_device(wanted);
    }
};

// The test bed refuses to work without the preload library.
std::unique_ptr<Bed> MakeBed(benchmark::State& state) {
    try {
        return std::make_unique<Bed>();
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return nullptr;
    }
}

void MeasureReports(benchmark::State& state, Bed& bed) {
    std::size_t turn = 0;
    for (auto _ : state) {
        reached.reset();
        const auto written = Clock::now();
        bed.testbed.send_input(bed.panel, kReports[turn++ % 2]);
        if (!RunUntilReached()) {
            state.SkipWithError("the report did not arrive");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*reached - written).count());
    }
}

void BM_ReportToCommand(benchmark::State& state) {
    auto bed = MakeBed(state);
    if (!bed) return;
    monitor::HidButtonDevice reader(monitor::kAllInOneVendorId, monitor::kAllInOneProductId,
                                    monitor::kButtonCodeUsage, monitor::kButtonParameterUsage, 0);
    if (reader.Open() != 0) {
        state.SkipWithError("the reader did not open");
        return;
    }
    MeasureReports(state, *bed);
}
BENCHMARK(BM_ReportToCommand)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_ReportToCallout(benchmark::State& state) {
    auto bed = MakeBed(state);
    if (!bed) return;
    auto interface =
        platform::usb::HidInterface::find_below(platform::usb::UsbDevice{bed->panel.syspath});
    auto device = interface ? platform::usb::HidDevice::open(*interface)
                            : platform::Result<platform::usb::HidDevice>(interface.error());
    auto queue = device ? platform::usb::HidDeviceQueue::create(*device)
                        : platform::Result<platform::usb::HidDeviceQueue>(device.error());
    if (!queue || !queue->start()) {
        state.SkipWithError("the queue did not start");
        return;
    }
    queue->add_element(2);
    queue->add_element(3);
    queue->set_callout([&queue] {
        while (queue->next_event()) {
        }
        Reached();
    });
    MeasureReports(state, *bed);
}
BENCHMARK(BM_ReportToCallout)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

// The dispatch's command runner: takes the time instead of running the command.
extern "C" int system(const char* command) {
    if (command) Reached();
    return 0;
}

BENCHMARK_MAIN();
