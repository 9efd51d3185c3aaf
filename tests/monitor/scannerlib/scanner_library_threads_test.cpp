// The two threads of the monitor each run their own open-to-close sequences on the scanner
// library; the sample library records any sequence that begins inside another.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "monitor/scannerlib/scanner_library.hpp"
#include "tests/monitor/scannerlib/scanner_library_fixtures.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using monitor::ScannerLibrary;
using platform::plist::Value;
using namespace scannerlib_test;

class ScannerLibraryThreads : public ::testing::Test {
protected:
    testing_support::IsolatedEnvironment env;
};

TEST_F(ScannerLibraryThreads, SequencesOfTwoThreadsNeverOverlap) {
    scanner_sample::Settings slowDevice;
    slowDevice.parameter_set_delay = std::chrono::milliseconds(2);
    const auto record = InstallSampleLibrary(slowDevice);
    StoreApplicationList({Value::string("Preview.app"), Value::string("Mail")});

    constexpr int sequences = 40;
    auto run = [] {
        for (int i = 0; i < sequences; ++i) {
            ScannerLibrary library;
            if (library.Open() != 0) continue;  // counted below: every Open must succeed
            library.SendDestinationList();
            library.Close();
        }
    };
    std::thread portThread(run);
    run();
    portThread.join();

    const auto calls = scanner_sample::read_record(record);
    ASSERT_TRUE(calls) << calls.error().message;
    EXPECT_TRUE(CallsNamed(*calls, "Overlap").empty());
    const auto enables = CallsNamed(*calls, "EnableScannerEx");
    EXPECT_EQ(enables.size(), 2u * sequences);
    EXPECT_EQ(CallsNamed(*calls, "DisableScanner").size(), 2u * sequences);
    std::set<std::string> threads;
    for (const auto& enable : enables) threads.insert(enable.field("thread").value_or(""));
    EXPECT_EQ(threads.size(), 2u);
    const auto sets = CallsNamed(*calls, "DeviceParameterSet");
    ASSERT_EQ(sets.size(), 2u * sequences);
    for (const auto& set : sets) EXPECT_EQ(set.block(), PreviewMailBlock());
}

TEST_F(ScannerLibraryThreads, AnOpenWaitsUntilTheOtherSequenceCloses) {
    const auto record = InstallSampleLibrary();
    ScannerLibrary mainThread;
    ASSERT_EQ(mainThread.Open(), 0);

    std::promise<void> opened;
    auto secondOpened = opened.get_future();
    std::promise<void> mayClose;
    auto closeNow = mayClose.get_future();
    std::thread portThread([&] {
        ScannerLibrary library;
        const auto status = library.Open();
        opened.set_value();
        closeNow.wait();
        if (status == 0) library.Close();
    });

    const bool openedEarly =
        secondOpened.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready;
    mainThread.Close();
    const bool openedAfterClose =
        secondOpened.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    mayClose.set_value();
    portThread.join();

    EXPECT_FALSE(openedEarly) << "the second sequence began while the first was open";
    EXPECT_TRUE(openedAfterClose);
    const auto calls = scanner_sample::read_record(record);
    ASSERT_TRUE(calls);
    EXPECT_TRUE(CallsNamed(*calls, "Overlap").empty());
    EXPECT_EQ(CallsNamed(*calls, "EnableScannerEx").size(), 2u);
}

}  // namespace
