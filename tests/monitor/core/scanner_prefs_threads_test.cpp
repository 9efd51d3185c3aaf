// The main thread and the port thread write the scanner status at the same time, without a
// lock of their own.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "monitor/core/scanner_prefs.hpp"
#include "platform/plist/describe.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using platform::plist::Value;

TEST(ScannerPrefsThreads, TwoThreadsWritingDifferentKeysLoseNothing) {
    testing_support::IsolatedEnvironment env;
    constexpr int rounds = 50;
    std::thread port_thread([] {
        for (int round = 0; round < rounds; ++round) {
            monitor::SetScannerPref(monitor::RemoteIPAddress,
                                    Value::string("10.0.0." + std::to_string(round)));
            (void)monitor::CopyScannerPref(monitor::IsCurrentlyScanning);
        }
    });
    for (int round = 0; round < rounds; ++round) {
        monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(round % 2 == 1));
        (void)monitor::CopyScannerPref(monitor::RemoteIPAddress);
    }
    port_thread.join();
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string("10.0.0.49"));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsCurrentlyScanning), Value::boolean(true));
}

}  // namespace
