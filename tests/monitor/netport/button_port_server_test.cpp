// The server with its port thread: starting and stopping, the name, the order of messages, the
// senders it drops, and a scan request's road from the sender to the scan-destination
// application.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "platform/msgport/local_port.hpp"
#include "tests/monitor/netport/recorded_calls.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/descriptor_limit.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/recorded_entries.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using monitor::ButtonPortServer;
using monitor::PortState;
using netport_testing::RecordedCalls;
using platform::plist::IntegerKind;
using platform::plist::Value;
using testing_support::FieldOf;
using namespace std::chrono_literals;

constexpr const char* kPortName = "OSPREY_HID_MSG_PORT";

std::array<std::byte, 12> Event(std::uint8_t command, std::uint8_t operation,
                                std::uint8_t lastOctet, std::uint8_t marker = 1) {
    return monitor::MessageBytes(monitor::NetworkButtonEvent{
        {marker, command, 0, 0, 0, 0, operation, 0}, {10, 0, 0, lastOctet}});
}

// The unique numbers written so far: one for each handled event that carried the marker.
std::vector<std::int64_t> UniqueNumbers() {
    std::vector<std::int64_t> numbers;
    const std::string prefix = std::string(monitor::UNIQUE_NUMBER) + " = ";
    for (const auto& call : RecordedCalls()) {
        if (call.starts_with(prefix)) numbers.push_back(std::stoll(call.substr(prefix.size())));
    }
    return numbers;
}

bool WaitForUniqueNumbers(std::size_t count, std::chrono::milliseconds timeout = 60s) {
    return testing_support::wait_until([&] { return UniqueNumbers().size() >= count; }, timeout);
}

platform::Result<void> Send(std::span<const std::byte> payload, std::int32_t msgid = 0) {
    return platform::msgport::send_message(kPortName, msgid, payload);
}

bool NameIsFree() {
    auto probe = platform::msgport::LocalPort::create(
        kPortName, [](std::int32_t, std::span<const std::byte>) {});
    return probe.ok();
}

class ButtonPortServerThreads : public ::testing::Test {
protected:
    void SetUp() override { netport_testing::ClearRecordedCalls(); }
    void TearDown() override { netport_testing::SetBeforePrefWrite({}); }

    testing_support::IsolatedEnvironment env;
};

TEST_F(ButtonPortServerThreads, ServesUntilStopThenFreesTheName) {
    ButtonPortServer server;
    server.Start();
    ASSERT_TRUE(Send(Event(3, 0, 21)));
    ASSERT_TRUE(WaitForUniqueNumbers(1));
    EXPECT_FALSE(NameIsFree());

    EXPECT_EQ(server.Stop(), 0);
    EXPECT_TRUE(NameIsFree());
    auto late = Send(Event(3, 0, 22));
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().status, -600);
    EXPECT_EQ(server.Stop(), 0) << "a second Stop finds nothing to do";
    EXPECT_EQ(UniqueNumbers(), std::vector<std::int64_t>{21});
}

TEST_F(ButtonPortServerThreads, ShortOfDescriptorsItServesOrLeavesTheNameFreeAndStopsEitherWay) {
    // From none to spare up to room for the port and its thread's run loop. In between, the port
    // is made but its thread's loop is not: the thread ends by itself and lets the name go.
    const auto socketPath = env.runtime_dir() / "msgports" / kPortName;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    // Made beforehand: while the limit holds, the test takes no descriptor from the server.
    const platform::UniqueFd sender(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(sender);

    std::vector<bool> served;
    testing_support::RecordedEntries entries;
    for (int spare = 0; spare <= 8; ++spare) {
        ButtonPortServer server;
        PortState state = PortState::NotServed;
        {
            const testing_support::SpareDescriptors limit(spare);
            server.Start();
            state = server.AwaitPortState();
            // An event in message form (ID 0, then the payload) for whoever serves the name.
            const auto event = Event(3, 0, static_cast<std::uint8_t>(spare));
            std::vector<std::byte> datagram(4);
            datagram.insert(datagram.end(), event.begin(), event.end());
            (void)::sendto(sender.get(), datagram.data(), datagram.size(), 0,
                           reinterpret_cast<const sockaddr*>(&address), sizeof address);
            // Until it is handled, or the name is let go (or was never taken).
            const auto handled = [&] {
                const auto numbers = UniqueNumbers();
                return !numbers.empty() && numbers.back() == spare;
            };
            ASSERT_TRUE(testing_support::wait_until([&] {
                std::error_code error;
                return handled() || !std::filesystem::exists(socketPath, error);
            })) << spare
                << " spare";
            served.push_back(handled());
        }
        EXPECT_EQ(state == PortState::Serving, served.back()) << spare << " spare";
        EXPECT_EQ(NameIsFree(), !served.back()) << spare << " spare";
        EXPECT_EQ(server.Stop(), 0);
        EXPECT_TRUE(NameIsFree()) << spare << " spare";
    }
    EXPECT_FALSE(served.front());
    EXPECT_TRUE(served.back());
    // With none to spare the port's socket could not be made: the journal says so, and why.
    const auto notServed = entries.With("CONDITION", "PORT_NOT_SERVED");
    ASSERT_FALSE(notServed.empty());
    EXPECT_EQ(FieldOf(notServed.front(), "CONDITION_STATE"), "began");
    EXPECT_EQ(FieldOf(notServed.front(), "PORT"), kPortName);
    EXPECT_EQ(FieldOf(entries.With("CONDITION", "DESCRIPTORS_EXHAUSTED").at(0), "CONDITION_STATE"),
              "began");
    EXPECT_EQ(FieldOf(notServed.back(), "CONDITION_STATE"), "ended") << "the last one served";
}

TEST_F(ButtonPortServerThreads, StopWithoutAPortDoesNothing) {
    ButtonPortServer never;
    EXPECT_EQ(never.Stop(), 0);
    EXPECT_EQ(never.Stop(), 0);
    EXPECT_TRUE(NameIsFree());
}

TEST_F(ButtonPortServerThreads, ASecondServerFailsWhileTheFirstServes) {
    testing_support::RecordedEntries entries;
    ButtonPortServer first;
    first.Start();
    EXPECT_EQ(first.AwaitPortState(), PortState::Serving);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ButtonPortServer second;
        second.Start();
        EXPECT_EQ(second.AwaitPortState(), PortState::ServedElsewhere);
        EXPECT_EQ(second.Stop(), 0);
    }
    // Said once, however often it is met, with the port's name to filter on.
    const auto taken = entries.With("CONDITION", "PORT_NAME_TAKEN");
    ASSERT_EQ(taken.size(), 1U);
    EXPECT_EQ(FieldOf(taken[0], "CONDITION_STATE"), "began");
    EXPECT_EQ(FieldOf(taken[0], "PORT"), kPortName);
    // The first one still serves, and it alone handles the message.
    ASSERT_TRUE(Send(Event(3, 0, 5)));
    ASSERT_TRUE(WaitForUniqueNumbers(1));
    first.Stop();
    EXPECT_EQ(UniqueNumbers(), std::vector<std::int64_t>{5});
    EXPECT_TRUE(NameIsFree());

    ButtonPortServer third;
    third.Start();
    EXPECT_EQ(third.AwaitPortState(), PortState::Serving);
    EXPECT_FALSE(NameIsFree()) << "the freed name serves a new server";
    const auto story = entries.With("CONDITION", "PORT_NAME_TAKEN");
    ASSERT_EQ(story.size(), 2U);
    EXPECT_EQ(FieldOf(story[1], "CONDITION_STATE"), "ended");
}

TEST_F(ButtonPortServerThreads, StopRightAfterStartAndDeletionWhileServing) {
    // Stop may come before the thread has made its source, or while it serves; either way the
    // thread is joined and the name is free when Stop returns.
    for (int round = 0; round < 50; ++round) {
        ButtonPortServer server;
        server.Start();
        if (round % 2 == 1) std::this_thread::sleep_for(1ms);
        server.Stop();
        ASSERT_TRUE(NameIsFree()) << "round " << round;
    }
    {
        auto served = std::make_unique<ButtonPortServer>();
        served->Start();
        ASSERT_TRUE(Send(Event(3, 0, 1)));
        ASSERT_TRUE(WaitForUniqueNumbers(1));
    }
    EXPECT_TRUE(NameIsFree()) << "deleting the server stopped it";
}

TEST_F(ButtonPortServerThreads, StopWaitsForTheMessageBeingHandled) {
    // The first preference write of the first message waits at a gate until the test opens it.
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
    netport_testing::SetBeforePrefWrite([&](std::string_view) {
        std::unique_lock held(lock);
        entered = true;
        changed.notify_all();
        changed.wait(held, [&] { return open; });
    });

    ButtonPortServer server;
    server.Start();
    ASSERT_TRUE(Send(Event(1, 0, 31)));  // scan type 0: two writes
    ASSERT_TRUE(Send(Event(3, 0, 32)));  // queued behind it, never handled
    {
        std::unique_lock held(lock);
        ASSERT_TRUE(changed.wait_for(held, 10s, [&] { return entered; }));
    }
    std::atomic<bool> stopped{false};
    bool stoppedBeforeOpening = true;
    std::thread opener([&] {
        std::this_thread::sleep_for(200ms);
        stoppedBeforeOpening = stopped.load();
        const std::lock_guard held(lock);
        open = true;
        changed.notify_all();
    });
    server.Stop();
    stopped = true;
    opener.join();

    EXPECT_FALSE(stoppedBeforeOpening) << "Stop returned while a message was being handled";
    EXPECT_EQ(RecordedCalls(),
              (std::vector<std::string>{"UNIQUE_NUMBER = 31", "IsNetworkScanning = true"}))
        << "the message was handled completely, the next one not at all";
}

TEST_F(ButtonPortServerThreads, AScanRequestFromTheSenderReachesTheApplication) {
    testing_support::ChildProcessGuard children;
    const auto pidFile = env.base() / "standin.pid";
    const auto logFile = env.base() / "standin.log";
    ASSERT_GT(testing_support::start_program(
                  {STANDIN_PROGRAM, "--pid-file", pidFile.string(), "--log", logFile.string()}),
              0);
    ASSERT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(pidFile); }));

    ButtonPortServer server;
    server.Start();
    const std::string command =
        std::string(SENDER_PROGRAM) +
        " scan --type 2 --direct 5 --resolution 44 --address 10.0.0.5 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string expected =
        "event 'BMon' 'x772' (return ID -1, transaction ID 0) to 'sign' 'QH06'\n"
        "  '----' 'long' 5\n"
        "  'rsln' 'long' 44\n"
        "  'NtSc' 'true' 01\n"
        "  'rmip' 'utxt' \"10.0.0.5\"\n";
    EXPECT_TRUE(testing_support::wait_until([&] {
        return testing_support::read_file(logFile).find(expected) != std::string::npos;
    })) << testing_support::read_file(logFile);
    server.Stop();
    EXPECT_EQ(monitor::CopyScannerPref(monitor::RemoteIPAddress), Value::string("10.0.0.5"));
}

// Datagrams that are too short to carry a message ID, sent past the port's own sender.
void SendRaw(const std::filesystem::path& socketPath, std::size_t size) {
    platform::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const std::string bytes(size, '\x01');
    ASSERT_EQ(::sendto(socket.get(), bytes.data(), bytes.size(), 0,
                       reinterpret_cast<const sockaddr*>(&address), sizeof address),
              static_cast<ssize_t>(size));
}

TEST_F(ButtonPortServerThreads, AFloodOfMixedDatagramsHandlesEveryEventInOrder) {
    ButtonPortServer server;
    server.Start();
    constexpr int count = 5000;
    std::vector<std::int64_t> expected;
    const auto socketPath = env.runtime_dir() / "msgports" / kPortName;
    for (int i = 0; i < count; ++i) {
        const auto octet = static_cast<std::uint8_t>(i * 7);
        switch (i % 8) {
            case 0:  // unknown command: the number is written, nothing else
                ASSERT_TRUE(Send(Event(3, 0, octet), i));
                expected.push_back(static_cast<std::int8_t>(octet));
                break;
            case 1:  // unknown control operation: the same
                ASSERT_TRUE(Send(Event(2, 0x98, octet), -i));
                expected.push_back(static_cast<std::int8_t>(octet));
                break;
            case 2:  // twelve bytes without the marker: handled, nothing written
                ASSERT_TRUE(Send(Event(3, 0, octet, 0)));
                break;
            case 3: {
                const auto event = Event(3, 0, octet);
                ASSERT_TRUE(Send(std::span(event).first(11)));
                break;
            }
            case 4: {
                std::vector<std::byte> longer(13, std::byte{1});
                ASSERT_TRUE(Send(longer));
                break;
            }
            case 5: ASSERT_TRUE(Send({})); break;
            case 6: SendRaw(socketPath, static_cast<std::size_t>(i % 4)); break;
            default: {
                std::vector<std::byte> large(4000, std::byte{1});
                ASSERT_TRUE(Send(large));
                break;
            }
        }
    }
    ASSERT_TRUE(WaitForUniqueNumbers(expected.size(), 100s)) << UniqueNumbers().size();
    server.Stop();
    EXPECT_EQ(UniqueNumbers(), expected);
}

// A helper connects to the port while it may (as root), drops to nobody, and sends: the send
// succeeds, and the server drops the datagram unread.
TEST_F(ButtonPortServerThreads, DatagramsOfAnotherUserAreDropped) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to send as another user";
    int go[2];
    int done[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(done), 0);
    const auto socketPath = env.runtime_dir() / "msgports" / kPortName;
    const auto intruder = Event(3, 0, 66);

    // Forked before the server's thread exists, so the helper is a copy of a one-thread process.
    const pid_t helper = ::fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        char signal = 0;
        if (::read(go[0], &signal, 1) != 1) ::_exit(10);
        const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            ::_exit(11);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(12);
        if (::geteuid() != 65534) ::_exit(13);
        std::array<std::byte, 16> datagram{};  // message ID 0, then the event
        std::memcpy(datagram.data() + 4, intruder.data(), intruder.size());
        const char sent = ::send(socket, datagram.data(), datagram.size(), 0) == 16 ? 1 : 0;
        if (::write(done[1], &sent, 1) != 1) ::_exit(14);
        ::_exit(0);
    }

    ButtonPortServer server;
    server.Start();
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    char sent = 0;
    ASSERT_EQ(::read(done[0], &sent, 1), 1);
    EXPECT_EQ(sent, 1) << "the helper's send succeeded";
    const auto status = testing_support::wait_for_exit(helper);
    ASSERT_TRUE(status && WIFEXITED(*status)) << "helper did not end";
    EXPECT_EQ(WEXITSTATUS(*status), 0);

    // The server's own user's message comes after the intruder's: once it is handled, the
    // intruder's has been dropped.
    ASSERT_TRUE(Send(Event(3, 0, 67)));
    ASSERT_TRUE(WaitForUniqueNumbers(1));
    server.Stop();
    EXPECT_EQ(UniqueNumbers(), std::vector<std::int64_t>{67});
    for (const int fd : {go[0], go[1], done[0], done[1]}) ::close(fd);
}

}  // namespace
