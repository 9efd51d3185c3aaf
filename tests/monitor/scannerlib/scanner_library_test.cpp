#include "monitor/scannerlib/scanner_library.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "monitor/core/scanner_prefs.hpp"
#include "platform/plist/describe.hpp"
#include "platform/plist/document.hpp"
#include "platform/prefs/location.hpp"
#include "tests/monitor/scannerlib/scanner_library_fixtures.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using monitor::ScannerLibrary;
using platform::plist::Value;
using scanner_sample::RecordedCall;
using namespace scannerlib_test;

std::vector<RecordedCall> Recorded(const std::filesystem::path& record) {
    auto calls = scanner_sample::read_record(record);
    return calls ? *calls : std::vector<RecordedCall>();
}

std::vector<std::string> Names(const std::vector<RecordedCall>& calls) {
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.name);
    return names;
}

// Whether another thread can run a whole open-to-close sequence, within ten seconds.
bool AnotherThreadCanOpen() {
    std::promise<std::int32_t> opened;
    auto result = opened.get_future();
    std::thread([&opened] {
        ScannerLibrary library;
        const std::int32_t status = library.Open();
        library.Close();
        opened.set_value(status);
    }).detach();
    // A thread that never gets the lock is left behind; the process ends with the test.
    return result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

class ScannerLibraryTest : public ::testing::Test {
protected:
    testing_support::IsolatedEnvironment env;
};

TEST_F(ScannerLibraryTest, LocatingReportsWhatIsMissing) {
    {
        ScannerLibrary library;
        EXPECT_EQ(library.LocateLibrary(), -43) << "no Application Support folder";
    }
    std::filesystem::create_directories(env.root() / "Library/Application Support/Velmora");
    {
        ScannerLibrary library;
        EXPECT_EQ(library.LocateLibrary(), -4960) << "no scanner bundle";
    }
    std::filesystem::create_directories(ScannerBundle() / "Contents/Resources");
    {
        ScannerLibrary library;
        EXPECT_EQ(library.LocateLibrary(), -4960) << "no shared support folder";
    }
    std::filesystem::create_directories(ScannerBundle() / "Contents/SharedSupport");
    ScannerLibrary library;
    EXPECT_EQ(library.LocateLibrary(), 0) << "the library bundle itself is looked for by Load";
    EXPECT_EQ(library.Load(), -4960);
}

TEST_F(ScannerLibraryTest, NothingInstalledFailsToOpenAndKeepsNoOneWaiting) {
    {
        ScannerLibrary library;
        EXPECT_EQ(library.Open(), -4960);
        // No Close, as the network handler does after a failed Open.
    }
    std::filesystem::create_directories(ScannerBundle() / "Contents/SharedSupport");
    ScannerLibrary library;
    EXPECT_EQ(library.Open(), -4960) << "a scanner bundle without the library bundle";
    library.Close();
    library.Close();
    EXPECT_TRUE(AnotherThreadCanOpen());
}

TEST_F(ScannerLibraryTest, CodeThatDoesNotLoadFailsToOpen) {
    const auto notCode = env.base() / "not-code";
    testing_support::write_file(notCode, "this is no shared object\n");
    InstallLibraryCode(notCode);
    ScannerLibrary library;
    EXPECT_EQ(library.Open(), -4960);
    EXPECT_TRUE(AnotherThreadCanOpen()) << "a failed Open gives the lock back before any Close";
    library.Close();
    library.Close();
}

TEST_F(ScannerLibraryTest, ASequenceEnablesSendsTheListAndDisablesWithOneHandle) {
    const auto record = InstallSampleLibrary();
    StoreApplicationList({Value::string("Preview.app"), Value::string("Mail")});
    const auto code = LibraryBundle() / "Contents/MacOS/7720ScannerLib";
    {
        ScannerLibrary library;
        ASSERT_EQ(library.Open(), 0);
        EXPECT_EQ(library.SendDestinationList(), 0);
        library.Close();
        EXPECT_EQ(::dlopen(code.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr)
            << "Close unloads the code";
        library.Close();
    }

    const auto calls = Recorded(record);
    ASSERT_EQ(Names(calls), (std::vector<std::string>{"EnableScannerEx", "ScanVersion",
                                                      "DeviceParameterSet", "DisableScanner"}));
    EXPECT_EQ(calls[0].number("vendor"), 7731);
    EXPECT_EQ(calls[0].number("product"), 183);
    const auto handle = calls[0].number("result");
    ASSERT_TRUE(handle);
    EXPECT_NE(*handle, 0);
    for (std::size_t i = 1; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].number("handle"), handle) << i;
    EXPECT_EQ(calls[2].number("parameter"), 1);
    EXPECT_EQ(calls[2].number("count"), 4);
    EXPECT_EQ(calls[2].number("length"), 34);
    EXPECT_EQ(calls[2].block(), PreviewMailBlock());
}

TEST_F(ScannerLibraryTest, ListsAreReadAfreshAndCappedAtEighteen) {
    const auto record = InstallSampleLibrary();
    std::vector<Value> names;
    for (int i = 0; i < 20; ++i) names.push_back(Value::string("App" + std::to_string(i)));
    StoreApplicationList(names);
    auto send = [] {
        ScannerLibrary library;
        ASSERT_EQ(library.Open(), 0);
        library.SendDestinationList();
        library.Close();
    };
    send();
    StoreApplicationList({});
    send();

    const auto sets = CallsNamed(Recorded(record), "DeviceParameterSet");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].number("count"), 20);
    EXPECT_EQ(sets[0].number("length"), 2 + 6 + 11 + 10 * 6 + 8 * 7);
    EXPECT_EQ(sets[1].number("count"), 1);
    EXPECT_EQ(sets[1].block(), (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST_F(ScannerLibraryTest, ThePanelThatTakesNoListGetsTheEmptyForm) {
    scanner_sample::Settings settings;
    settings.scan_version_bytes = {3, 2, 0x81};
    const auto record = InstallSampleLibrary(settings);
    StoreApplicationList({Value::string("Preview.app"), Value::string("Mail")});
    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    library.SendDestinationList();
    library.Close();

    const auto sets = CallsNamed(Recorded(record), "DeviceParameterSet");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].number("count"), 1);
    EXPECT_EQ(sets[0].number("length"), 4);
    EXPECT_EQ(sets[0].block(), (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST_F(ScannerLibraryTest, AFailedScanVersionSendsNothing) {
    scanner_sample::Settings settings;
    settings.scan_version_result = 0;
    const auto record = InstallSampleLibrary(settings);
    StoreApplicationList({Value::string("Mail")});
    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    EXPECT_EQ(library.SendDestinationList(), 0);
    library.Close();
    EXPECT_EQ(Names(Recorded(record)),
              (std::vector<std::string>{"EnableScannerEx", "ScanVersion", "DisableScanner"}));
}

TEST_F(ScannerLibraryTest, WithoutAnyListStoredTheEmptyFormIsSentAndAnEmptyListStored) {
    const auto record = InstallSampleLibrary();
    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    library.SendDestinationList();
    library.Close();

    const auto sets = CallsNamed(Recorded(record), "DeviceParameterSet");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].block(), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    const auto stored = platform::plist::read_file(*platform::prefs::domain_path(
        "com.velmora.aio.scanhub.2007", platform::prefs::Scope::AnyHost));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->get("ApplicationList"), Value::array());
}

TEST_F(ScannerLibraryTest, ADestructorWithoutCloseGivesTheLockBack) {
    InstallSampleLibrary();
    {
        ScannerLibrary library;
        ASSERT_EQ(library.Open(), 0);
    }
    EXPECT_TRUE(AnotherThreadCanOpen());
}

// The test library keeps its calls in memory; the test holds the code loaded to read them.
class TestLibrary : public ScannerLibraryTest {
protected:
    void Install(const char* code) {
        InstallLibraryCode(code);
        auto opened = platform::bundle::Bundle::open(LibraryBundle());
        ASSERT_TRUE(opened);
        held.emplace(std::move(*opened));
        ASSERT_TRUE(held->load());
    }
    std::vector<std::string> Calls() const {
        auto* calls = platform::bundle::entry_point<const char*()>(*held, "ScannerTestCalls");
        std::vector<std::string> lines;
        std::string text = calls ? calls() : "";
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    void SetEndNetworkScanHook(std::int32_t (*hook)(ScannerDeviceHandle)) {
        auto* set = platform::bundle::entry_point<void(std::int32_t(*)(ScannerDeviceHandle))>(
            *held, "ScannerTestSetEndNetworkScanHook");
        ASSERT_NE(set, nullptr);
        set(hook);
    }

    std::optional<platform::bundle::Bundle> held;
};

TEST_F(TestLibrary, WithoutEnableScannerExTheHandleStaysZeroAndNothingIsDisabled) {
    ASSERT_NO_FATAL_FAILURE(Install(TEST_LIBRARY_WITHOUT_ENABLE));
    StoreApplicationList({Value::string("Mail")});
    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    library.SendDestinationList();
    library.Close();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"ScanVersion 0", "DeviceParameterSet 0 1 3 25"}));
}

TEST_F(TestLibrary, WithoutScanVersionNothingIsSentAndWithoutItsEntryPointNoScanEnds) {
    ASSERT_NO_FATAL_FAILURE(Install(TEST_LIBRARY_WITHOUT_VERSION));
    StoreApplicationList({Value::string("Mail")});
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("10.0.0.5"));
    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    EXPECT_EQ(library.SendDestinationList(), 0);
    EXPECT_EQ(library.EndNetworkScan(), 0);
    library.Close();
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"EnableScannerEx 7731 183", "DisableScanner 30496"}));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsNetworkScanning), Value::boolean(true));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string("10.0.0.5"));
}

TEST_F(TestLibrary, WithoutDeviceParameterSetNothingIsSentAndWithoutDisableScannerNothingDisabled) {
    ASSERT_NO_FATAL_FAILURE(Install(TEST_LIBRARY_WITHOUT_PARAMETER_SET));
    StoreApplicationList({Value::string("Mail")});
    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    EXPECT_EQ(library.SendDestinationList(), 0);
    library.Close();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"EnableScannerEx 7731 183", "ScanVersion 30496"}));
}

TEST_F(TestLibrary, CloseDisablesOnceAndForgetsTheEntryPoints) {
    ASSERT_NO_FATAL_FAILURE(Install(TEST_LIBRARY_FULL));
    StoreApplicationList({Value::string("Mail")});
    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    library.Close();
    library.Close();
    EXPECT_EQ(library.SendDestinationList(), 0);
    EXPECT_EQ(library.EndNetworkScan(), 0);
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"EnableScannerEx 7731 183", "DisableScanner 30496"}));
}

struct SeenAtEnd {
    Value networkScanning;
    Value remoteAddress;
    ScannerDeviceHandle handle = 0;
};
SeenAtEnd seenAtEnd;

std::int32_t RecordPrefsAtEnd(ScannerDeviceHandle handle) {
    seenAtEnd = {monitor::CopyScannerPref(monitor::IsNetworkScanning),
                 monitor::CopyScannerPref(monitor::RemoteIPAddress), handle};
    return -31;
}

TEST_F(TestLibrary, EndingANetworkScanClearsTheStatusBeforeCallingTheLibrary) {
    ASSERT_NO_FATAL_FAILURE(Install(TEST_LIBRARY_FULL));
    SetEndNetworkScanHook(RecordPrefsAtEnd);
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("10.0.0.5"));

    ScannerLibrary library;
    ASSERT_EQ(library.Open(), 0);
    EXPECT_EQ(library.EndNetworkScan(), -31) << "the library's own result";
    library.Close();

    EXPECT_EQ(seenAtEnd.networkScanning, Value::boolean(false));
    EXPECT_EQ(seenAtEnd.remoteAddress, Value::string(""));
    EXPECT_EQ(seenAtEnd.handle, 0x7720u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"EnableScannerEx 7731 183", "EndNetworkScan 30496",
                                                 "DisableScanner 30496"}));
}

}  // namespace
