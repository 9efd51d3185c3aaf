#include "monitor/core/scanner_prefs.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/plist/describe.hpp"
#include "platform/plist/document.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using platform::plist::IntegerKind;
using platform::plist::Value;
using testing_support::read_file;
using testing_support::write_file;

class ScannerPrefs : public ::testing::Test {
protected:
    void SetUp() override { write_file(env.root() / "etc/machine-id", "5eed\n"); }

    // The file as another program of the scanner software finds it.
    std::filesystem::path file() const {
        return env.config_home() / "Preferences/ByHost/com.velmora.aio.scannerlib.k71.5eed.plist";
    }
    Value on_disk() const {
        auto value = platform::plist::parse(read_file(file()));
        return value ? *value : Value();
    }

    testing_support::IsolatedEnvironment env;
};

TEST_F(ScannerPrefs, AWriteIsOnDiskWhenSetReturns) {
    EXPECT_TRUE(monitor::CopyScannerPref(monitor::IsNetworkScanning).is_null());
    monitor::SetScannerPref(monitor::SCAN_DATA_MESSAGE_PORT, Value::string("OSPREY_READ_MSG_PORT"));
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(false));
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string("192.168.1.200"));
    EXPECT_EQ(on_disk(), Value::dictionary({
                             {"SCAN_DATA_MESSAGE_PORT", Value::string("OSPREY_READ_MSG_PORT")},
                             {"IsNetworkScanning", Value::boolean(true)},
                             {"IsCurrentlyScanning", Value::boolean(false)},
                             {"RemoteIPAddress", Value::string("192.168.1.200")},
                         }));
    const std::string xml = read_file(file());
    EXPECT_NE(xml.find("<true/>"), std::string::npos);
    EXPECT_NE(xml.find("<false/>"), std::string::npos);
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsNetworkScanning), Value::boolean(true));
}

TEST_F(ScannerPrefs, UniqueNumberIsASignedOctet) {
    monitor::SetScannerPref(monitor::UNIQUE_NUMBER, Value::integer(200, IntegerKind::SInt8));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::UNIQUE_NUMBER).to_int64(), -56);
    EXPECT_NE(read_file(file()).find("<integer>-56</integer>"), std::string::npos);
}

TEST_F(ScannerPrefs, ANullValueRemovesTheKey) {
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(false));
    monitor::SetScannerPref(monitor::RemoteIPAddress, Value::string(""));
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value());
    EXPECT_TRUE(monitor::CopyScannerPref(monitor::IsNetworkScanning).is_null());
    EXPECT_EQ(on_disk(), Value::dictionary({{"RemoteIPAddress", Value::string("")}}));
}

TEST_F(ScannerPrefs, ADeeplyNestedFileReadsEmptyAndIsKeptAsideByTheNextWrite) {
    // Never closed: libplist builds the arrays before it finds the end missing.
    std::string deep = "<plist><dict><key>IsNetworkScanning</key>";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    write_file(file(), deep);

    EXPECT_TRUE(monitor::CopyScannerPref(monitor::IsNetworkScanning).is_null());
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    EXPECT_EQ(on_disk(), Value::dictionary({{"IsNetworkScanning", Value::boolean(true)}}));
    EXPECT_EQ(read_file(file().string() + ".corrupt"), deep);
}

TEST_F(ScannerPrefs, AnotherProcessesWriteIsReadWithoutRestart) {
    monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(true));
    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsCurrentlyScanning), Value::boolean(true));

    // Another program of the scanner software ends the scan and adds a key of its own.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        monitor::SetScannerPref(monitor::IsCurrentlyScanning, Value::boolean(false));
        monitor::SetScannerPref("OtherProgramKey", Value::integer(1));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(monitor::CopyScannerPref(monitor::IsCurrentlyScanning), Value::boolean(false));
    monitor::SetScannerPref(monitor::IsNetworkScanning, Value::boolean(true));
    EXPECT_EQ(on_disk().get("OtherProgramKey"), Value::integer(1)) << "keys of others are kept";
}

}  // namespace
