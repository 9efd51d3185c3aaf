#pragma once
// What the whole-process tests of button-monitor share: a private world (runtime, configuration
// and home folders, a fixture /Library), the monitor in its view, and readings of what the
// monitor leaves behind (its preferences, the sample scanner library's record, its port).

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/monitor/process/monitor_in_view.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/sample_settings.hpp"

namespace process_test {

inline constexpr std::string_view kButtonPort = "OSPREY_HID_MSG_PORT";

class MonitorProcessTest : public ::testing::Test {
protected:
    void SetUp() override;

    // The sample scanner library where the monitor looks for the scanner library.
    void InstallSampleLibrary(const scanner_sample::Settings& settings = {});
    // The sample library's calls made by the monitor's process, in order.
    std::vector<scanner_sample::RecordedCall> LibraryCalls() const;
    std::size_t LibraryCallCount(std::string_view name) const;

    ViewOptions View() const {
        ViewOptions view;
        view.library = library_;
        return view;
    }
    // Starts the monitor and waits for its pid; a fatal failure when either does not happen.
    void StartMonitor(const ViewOptions& options);
    // Waits until the monitor has that many threads and all of them wait in epoll: its event
    // loop and, when the port is served, the port thread's loop, with nothing to do.
    bool WaitUntilIdle(std::size_t threads);
    // Sends the signal to the monitor itself and waits for the view to end: the wait status.
    std::optional<int> SignalAndWait(int signalNumber);

    // "SCAN_DATA_MESSAGE_PORT" in the monitor's scanner status preferences, when a string.
    std::optional<std::string> PublishedScanDataPort() const;
    // The socket of the button port in the test's runtime folder.
    std::filesystem::path ButtonPortSocket() const;

    testing_support::IsolatedEnvironment env_;
    testing_support::ChildProcessGuard children_;
    std::filesystem::path library_;
    std::filesystem::path libraryRecord_;
    MonitorInView monitor_{env_.base()};
    pid_t pid_ = -1;
};

// A wait status as text ("exit 0", "killed by signal 9"), or "still running" for none, so
// that a failure reads plainly.
std::string DescribeExit(const std::optional<int>& status);

// The eight report bytes of a destination list refresh, and an address whose last octet (the
// unique number the monitor shows) is 5.
std::vector<std::byte> RefreshRequest();

}  // namespace process_test
