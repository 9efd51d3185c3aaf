#include "monitor/launch/scan_launch_request.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "monitor/launch/launch_parameter_block.hpp"
#include "platform/base/four_char_code.hpp"
#include "platform/folders/folders.hpp"
#include "platform/msgport/named_socket.hpp"
#include "tests/support/byte_builder.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using monitor::ScanLaunchRequest;
using platform::four_char_code;
using platform::msgport::NamedSocket;
using testing_support::ByteBuilder;
using testing_support::IsolatedEnvironment;

constexpr const char* kInstallLocation = "/Library/Printers/Velmora/2006/Velmora Scan Hub.app";

// The scan-destination application's socket, served raw so the test sees every byte.
NamedSocket serve_raw() {
    auto claimed = NamedSocket::claim("appevents", "QH06");
    if (!claimed) {
        ADD_FAILURE() << claimed.error().message;
        std::abort();
    }
    return std::move(claimed).value();
}

std::vector<std::byte> sent_bytes(ScanLaunchRequest request) {
    NamedSocket socket = serve_raw();
    EXPECT_EQ(request.Send(), 0);
    std::vector<std::byte> buffer(4096);
    auto received = socket.receive(buffer);
    if (!received || !*received) {
        ADD_FAILURE() << "nothing arrived";
        return {};
    }
    buffer.resize((*received)->size);
    return buffer;
}

// The event's header up to its parameter count.
ByteBuilder header(const char* eventId, std::uint32_t parameterCount) {
    ByteBuilder bytes;
    bytes.code("aevt").code("BMon");
    if (eventId) {
        bytes.code(eventId);
    } else {
        bytes.le32(0);
    }
    bytes.le16(0xFFFF)
        .le32(0)
        .code("sign")
        .le32(4)
        .host(four_char_code("QH06"))
        .le32(parameterCount);
    return bytes;
}

ByteBuilder& address(ByteBuilder& bytes, std::u16string_view units) {
    bytes.code("rmip").code("utxt").le32(static_cast<std::uint32_t>(units.size() * 2));
    for (const char16_t unit : units) bytes.host(unit);
    return bytes;
}

TEST(ScanLaunchRequestEvent, CarriesEveryValueInOrder) {
    IsolatedEnvironment env;
    auto expected = header("x771", 4);
    expected.code("----").code("long").le32(4).host(std::int32_t{5});
    expected.code("rsln").code("long").le32(4).host(std::int32_t{300});
    expected.code("NtSc").code("true").le32(1).byte(1);
    address(expected, u"10.1.2.3");  // eight characters: 16 bytes
    EXPECT_EQ(sent_bytes(ScanLaunchRequest(1, 5, 300, 1, "10.1.2.3")), expected.bytes());
}

TEST(ScanLaunchRequestEvent, ScanTypeSelectsTheEventId) {
    IsolatedEnvironment env;
    const std::pair<std::int32_t, const char*> cases[] = {
        {1, "x771"}, {3, "x771"}, {2, "x772"}, {0, nullptr}, {4, nullptr}, {-1, nullptr}};
    for (const auto& [scanType, eventId] : cases) {
        auto expected = header(eventId, 2);
        expected.code("NtSc").code("fals").le32(1).byte(0);
        address(expected, u"");
        EXPECT_EQ(sent_bytes(ScanLaunchRequest(scanType, -1, -1, 0, std::nullopt)),
                  expected.bytes())
            << "scan type " << scanType;
    }
}

TEST(ScanLaunchRequestEvent, OnlyMinusOneLeavesAValueOut) {
    IsolatedEnvironment env;
    auto zeros = header("x772", 4);
    zeros.code("----").code("long").le32(4).host(std::int32_t{0});
    zeros.code("rsln").code("long").le32(4).host(std::int32_t{0});
    zeros.code("NtSc").code("true").le32(1).byte(1);
    address(zeros, u"");
    EXPECT_EQ(sent_bytes(ScanLaunchRequest(2, 0, 0, 1, std::nullopt)), zeros.bytes());

    auto resolutionOnly = header("x772", 3);
    resolutionOnly.code("rsln").code("long").le32(4).host(std::int32_t{-2});
    resolutionOnly.code("NtSc").code("true").le32(1).byte(1);
    address(resolutionOnly, u"");
    EXPECT_EQ(sent_bytes(ScanLaunchRequest(2, -1, -2, 1, std::nullopt)), resolutionOnly.bytes());
}

TEST(ScanLaunchRequestEvent, NetworkFlagAndAddressAsGiven) {
    IsolatedEnvironment env;
    // The flag's own byte goes along, whatever its value; the address is UTF-16 code units.
    auto expected = header(nullptr, 2);
    expected.code("NtSc").code("true").le32(1).byte(2);
    address(expected, u"h\u00f4te\U0001F5A8");
    EXPECT_EQ(sent_bytes(ScanLaunchRequest(0, -1, -1, 2, "h\u00f4te\U0001F5A8")), expected.bytes());

    auto empty = header(nullptr, 2);
    empty.code("NtSc").code("fals").le32(1).byte(0);
    address(empty, u"");
    EXPECT_EQ(sent_bytes(ScanLaunchRequest(0, -1, -1, 0, std::string())), empty.bytes());
}

TEST(ScanLaunchRequestLocate, FindsTheInstallLocationOrNothing) {
    IsolatedEnvironment env;
    ScanLaunchRequest request(1, -1, -1, 0, std::nullopt);
    platform::folders::FileRef found;
    EXPECT_EQ(request.LocateApplication(found), -4960);

    const auto installed = platform::folders::system_path(kInstallLocation);
    std::filesystem::create_directories(installed);
    EXPECT_EQ(request.LocateApplication(found), 0);
    EXPECT_EQ(found.path, std::filesystem::canonical(installed));
    EXPECT_TRUE(found.path.string().starts_with(env.root().string()));
}

// Launch paths: the test adopts what a launch leaves running, so that it can end it and can
// tell that nothing was launched when nothing is its child.
class ScanLaunchRequestLaunch : public ::testing::Test {
protected:
    void SetUp() override { testing_support::adopt_orphans(); }
    void TearDown() override { monitor::SetLaunchParameterLimitForTesting(std::nullopt); }

    std::string log() const { return testing_support::read_file(logFile); }
    bool LogHas(const std::string& text) const { return log().find(text) != std::string::npos; }

    void InstallStandIn() {
        const pid_t maker = testing_support::start_program(
            {STANDIN_PROGRAM, "--make-bundle",
             platform::folders::system_path(kInstallLocation).string(), "--pid-file",
             pidFile.string(), "--log", logFile.string()});
        const auto status = testing_support::wait_for_exit(maker);
        ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    }

    void ExpectNothingLaunched() {
        EXPECT_TRUE(testing_support::child_processes().empty());
        EXPECT_FALSE(std::filesystem::exists(pidFile));
        auto probe = platform::msgport::send_to_name("appevents", "QH06", {});
        ASSERT_FALSE(probe);
        EXPECT_EQ(probe.error().status, -600) << "nobody serves the signature";
    }

    IsolatedEnvironment env;
    testing_support::ChildProcessGuard children;
    std::filesystem::path pidFile = env.base() / "standin.pid";
    std::filesystem::path logFile = env.base() / "standin.log";
};

constexpr const char* kDecoded =
    "'BMon' 'x771' (return ID -1, transaction ID 0) to 'sign' 'QH06'\n"
    "  '----' 'long' 5\n"
    "  'rsln' 'long' 300\n"
    "  'NtSc' 'true' 01\n"
    "  'rmip' 'utxt' \"10.1.2.3\"\n";

TEST_F(ScanLaunchRequestLaunch, ARunningApplicationGetsTheEvent) {
    const pid_t standIn = testing_support::start_program(
        {STANDIN_PROGRAM, "--pid-file", pidFile.string(), "--log", logFile.string()});
    ASSERT_GT(standIn, 0);
    ASSERT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(pidFile); }));

    EXPECT_EQ(ScanLaunchRequest(1, 5, 300, 1, "10.1.2.3").Send(), 0);
    EXPECT_TRUE(testing_support::wait_until([&] {
        return LogHas(std::string("event ") + kDecoded);
    })) << log();
    EXPECT_FALSE(LogHas("launch event"));
}

TEST_F(ScanLaunchRequestLaunch, AnInstalledApplicationIsLaunchedWithTheEvent) {
    InstallStandIn();
    EXPECT_EQ(ScanLaunchRequest(1, 5, 300, 1, "10.1.2.3").Send(), 0);
    ASSERT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(pidFile); }))
        << log();
    EXPECT_TRUE(LogHas(std::string("launch event ") + kDecoded)) << log();

    // Now it runs, the next request is sent to it rather than launching another.
    EXPECT_EQ(ScanLaunchRequest(1, 5, 300, 1, "10.1.2.3").Send(), 0);
    EXPECT_TRUE(testing_support::wait_until([&] {
        return LogHas(std::string("\nevent ") + kDecoded);
    })) << log();
    EXPECT_EQ(testing_support::child_processes().size(), 1U);
}

TEST_F(ScanLaunchRequestLaunch, NothingInstalledIsCoreFoundationUnknownErr) {
    EXPECT_EQ(ScanLaunchRequest(1, 5, 300, 1, "10.1.2.3").Send(), -4960);
    ExpectNothingLaunched();
}

TEST_F(ScanLaunchRequestLaunch, NoMemoryForTheLaunchParametersIsMemFullErr) {
    InstallStandIn();
    monitor::SetLaunchParameterLimitForTesting(16);
    EXPECT_EQ(ScanLaunchRequest(1, 5, 300, 1, "10.1.2.3").Send(), -108);
    ExpectNothingLaunched();
}

TEST_F(ScanLaunchRequestLaunch, AnApplicationWithoutItsExecutableIsFileNotFound) {
    InstallStandIn();
    std::filesystem::remove_all(platform::folders::system_path(kInstallLocation) /
                                "Contents/MacOS");
    EXPECT_EQ(ScanLaunchRequest(2, -1, -1, 1, std::nullopt).Send(), -43);
    ExpectNothingLaunched();
}

}  // namespace
