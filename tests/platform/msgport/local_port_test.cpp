#include "platform/msgport/local_port.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <latch>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/base/os_status.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using platform::msgport::LocalPort;
using platform::runloop::RunLoop;
using testing_support::IsolatedEnvironment;
using namespace std::chrono_literals;

struct Received {
    std::int32_t id;
    std::string payload;
};

// A port served on a thread of its own, as a server would run it. Its handler counts the
// message as started, runs the hook (which may hold it, or use the port), then records it.
class ServedPort {
public:
    using Hook = std::function<void(LocalPort&)>;

    explicit ServedPort(std::string name, Hook hook = {}) : name_(std::move(name)) {
        auto created = LocalPort::create(name_, [this, hook](std::int32_t id,
                                                             std::span<const std::byte> payload) {
            ++started_;
            if (hook) hook(*port_);
            const std::lock_guard guard(lock_);
            received_.push_back(
                {id, std::string(reinterpret_cast<const char*>(payload.data()), payload.size())});
        });
        if (!created) std::abort();
        port_ = std::move(created).value();
        thread_ = std::thread([this] {
            if (!port_->schedule_on_current_loop()) std::abort();
            loop_.store(&RunLoop::current());
            result_ = RunLoop::current().run();
            port_->unschedule();
        });
        if (!testing_support::wait_until([this] { return loop_.load() != nullptr; })) std::abort();
    }
    ~ServedPort() {
        if (thread_.joinable()) {
            port_->invalidate();
            thread_.join();
        }
    }

    LocalPort& port() { return *port_; }
    RunLoop::RunResult join() {
        thread_.join();
        return result_;
    }
    std::vector<Received> received() {
        const std::lock_guard guard(lock_);
        return received_;
    }
    bool wait_for(std::size_t count) {
        return testing_support::wait_until([&] { return received().size() >= count; }, 60s);
    }
    // Until the handler has begun with that many messages.
    bool wait_for_start(int count) {
        return testing_support::wait_until([&] { return started_.load() >= count; });
    }

private:
    std::string name_;
    std::unique_ptr<LocalPort> port_;
    std::thread thread_;
    std::atomic<RunLoop*> loop_{nullptr};
    std::atomic<int> started_{0};
    RunLoop::RunResult result_{};
    std::mutex lock_;
    std::vector<Received> received_;
};

std::span<const std::byte> bytes_of(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

void send_raw(const std::filesystem::path& socket_path, std::string_view datagram) {
    platform::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket_path.c_str());
    ASSERT_EQ(::sendto(socket.get(), datagram.data(), datagram.size(), 0,
                       reinterpret_cast<sockaddr*>(&address), sizeof address),
              static_cast<ssize_t>(datagram.size()));
}

TEST(LocalPort, DeliversMessageIdsAndPayloadsOnTheServingThread) {
    IsolatedEnvironment env;
    ServedPort served("OSPREY_HID_MSG_PORT");
    ASSERT_TRUE(
        platform::msgport::send_message("OSPREY_HID_MSG_PORT", 7, bytes_of("twelve bytes")));
    ASSERT_TRUE(platform::msgport::send_message("OSPREY_HID_MSG_PORT", -2, bytes_of("")));
    // Datagrams shorter than a message ID carry no message.
    send_raw(env.runtime_dir() / "msgports/OSPREY_HID_MSG_PORT", "abc");
    ASSERT_TRUE(platform::msgport::send_message("OSPREY_HID_MSG_PORT", 0x01020304, bytes_of("x")));
    ASSERT_TRUE(served.wait_for(3));
    const auto got = served.received();
    ASSERT_EQ(got.size(), 3U);
    EXPECT_EQ(got[0].id, 7);
    EXPECT_EQ(got[0].payload, "twelve bytes");
    EXPECT_EQ(got[1].id, -2);
    EXPECT_EQ(got[1].payload, "");
    EXPECT_EQ(got[2].id, 0x01020304);
}

TEST(LocalPort, SecondServerFailsWhileTheFirstServes) {
    IsolatedEnvironment env;
    ServedPort served("port");
    auto second = LocalPort::create("port", [](std::int32_t, std::span<const std::byte>) {});
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().status, platform::os_status::portNameExistsErr);
}

TEST(LocalPort, InvalidationFromAnotherThreadEndsServingAndFreesTheName) {
    IsolatedEnvironment env;
    ServedPort served("port");
    served.port().invalidate();
    EXPECT_FALSE(served.port().is_valid());
    EXPECT_EQ(served.join(), RunLoop::RunResult::Finished) << "the loop lost its only source";
    auto sent = platform::msgport::send_message("port", 1, bytes_of("late"));
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error().status, -600);
    EXPECT_TRUE(served.received().empty());
    auto again = LocalPort::create("port", [](std::int32_t, std::span<const std::byte>) {});
    EXPECT_TRUE(again);
}

TEST(LocalPort, InvalidationWaitsForTheMessageBeingHandledAndNoneStartsMeanwhile) {
    IsolatedEnvironment env;
    std::latch release(1);
    ServedPort served("port", [&](LocalPort&) { release.wait(); });
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(platform::msgport::send_message("port", i, bytes_of("m")));
    ASSERT_TRUE(served.wait_for_start(1));
    std::size_t handled_on_return = 0;
    std::thread invalidating([&] {
        served.port().invalidate();
        handled_on_return = served.received().size();
    });
    // The port is marked invalid at once; the handler ends only after that.
    ASSERT_TRUE(testing_support::wait_until([&] { return !served.port().is_valid(); }));
    release.count_down();
    invalidating.join();
    EXPECT_EQ(handled_on_return, 1U) << "invalidate returned before the handler finished";
    EXPECT_EQ(served.join(), RunLoop::RunResult::Finished);
    EXPECT_EQ(served.received().size(), 1U)
        << "the queued messages were dispatched after invalidation";
}

TEST(LocalPort, AHandlerMayInvalidateItsOwnPort) {
    IsolatedEnvironment env;
    // The first handler waits until all three are queued: the two behind it are never dispatched.
    std::latch queued(1);
    ServedPort served("port", [&queued](LocalPort& port) {
        queued.wait();
        port.invalidate();
    });
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(platform::msgport::send_message("port", i, bytes_of("m")));
    queued.count_down();
    EXPECT_EQ(served.join(), RunLoop::RunResult::Finished) << "the loop lost its only source";
    EXPECT_EQ(served.received().size(), 1U);
    EXPECT_FALSE(std::filesystem::exists(env.runtime_dir() / "msgports/port"));
}

TEST(LocalPort, PortsThatAreNotScheduledCloseAtOnce) {
    IsolatedEnvironment env;
    auto created = LocalPort::create("port", [](std::int32_t, std::span<const std::byte>) {});
    ASSERT_TRUE(created);
    auto& port = **created;
    port.invalidate();
    port.invalidate();
    EXPECT_FALSE(port.schedule_on_current_loop());
    EXPECT_FALSE(std::filesystem::exists(env.runtime_dir() / "msgports/port"));
    EXPECT_TRUE(LocalPort::create("port", [](std::int32_t, std::span<const std::byte>) {}));
}

TEST(LocalPort, AFloodArrivesCompleteAndInOrderWithSendersWaiting) {
    IsolatedEnvironment env;
    ServedPort served("port");
    constexpr int count = 5000;
    std::thread sender([] {
        for (int i = 0; i < count; ++i) {
            const std::string payload(100, static_cast<char>('a' + i % 26));
            ASSERT_TRUE(platform::msgport::send_message("port", i, bytes_of(payload)));
        }
    });
    sender.join();
    ASSERT_TRUE(served.wait_for(count));
    const auto got = served.received();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) ASSERT_EQ(got[static_cast<std::size_t>(i)].id, i);
}

}  // namespace
