#include "monitor/netport/button_port_server.hpp"

#include <algorithm>
#include <utility>
#include <variant>

#include "monitor/netport/network_button_event.hpp"

namespace monitor {

namespace msgport = platform::msgport;
using platform::runloop::RunLoop;

ButtonPortServer::~ButtonPortServer() { Stop(); }

std::int32_t ButtonPortServer::CreatePort() {
    // Letting go of an earlier port does not invalidate it: a thread still serving it keeps its
    // own reference.
    port.reset();
    auto created = msgport::LocalPort::create(
        ButtonPortName, [this](std::int32_t msgid, std::span<const std::byte> payload) {
            OnPortMessage(msgid, payload);
        });
    if (auto* made = std::get_if<std::unique_ptr<msgport::LocalPort>>(&created)) {
        port = std::move(*made);
    }
    return port ? 0 : -1;
}

void ButtonPortServer::Start() {
    JoinEndedThread();
    // Held across the creation of the thread and the setting of running, so the new thread,
    // which takes the lock before it reads port, finds running set before it can clear it.
    const std::lock_guard guard(lock);
    if (CreatePort() != 0 || running) return;
    pthread_t created{};
    if (::pthread_create(&created, nullptr, &ButtonPortServer::PortThreadMain, this) != 0) return;
    thread = created;
    running = true;
}

void ButtonPortServer::JoinEndedThread() {
    std::optional<pthread_t> ended;
    {
        const std::lock_guard guard(lock);
        // A thread whose handle is still here but that is no longer running has passed its last
        // use of the lock; it is ending or has ended.
        if (thread && !running) ended = std::exchange(thread, std::nullopt);
    }
    if (ended) ::pthread_join(*ended, nullptr);
}

void* ButtonPortServer::PortThreadMain(void* server) {
    static_cast<ButtonPortServer*>(server)->ServePort();
    return nullptr;
}

std::int32_t ButtonPortServer::ServePort() {
    std::shared_ptr<msgport::LocalPort> served;
    RunLoop* loop = nullptr;
    {
        // Excludes Stop's invalidation and release of the port while the source is made from
        // it: when Stop came first, port is null and the thread ends at once.
        const std::lock_guard guard(lock);
        if (!port) return 0;
        served = port;
        loop = &RunLoop::current();
        runLoop = loop;
        if (!served->schedule_on_current_loop()) {
            // Not served, so let the name go: senders then learn that nobody serves it rather
            // than filling a queue nobody reads.
            served->invalidate();
        }
    }
    // Returns when Stop stops it, or when the invalidated port's sources are gone.
    loop->run();
    served->unschedule();
    served.reset();
    {
        // Cleared before the thread ends, so Stop never stops the loop of an ended thread.
        const std::lock_guard guard(lock);
        runLoop = nullptr;
        running = false;
    }
    return 0;
}

void ButtonPortServer::OnPortMessage(std::int32_t, std::span<const std::byte> payload) {
    // The result stays here: the sender gets no reply.
    if (CopyMessage(payload)) (void)HandleNetworkEvent();
}

bool ButtonPortServer::CopyMessage(std::span<const std::byte> payload) {
    if (payload.size() != NetworkButtonEventSize) return false;
    const auto toByte = [](std::byte b) { return std::to_integer<std::uint8_t>(b); };
    std::transform(payload.begin() + ReportOffset, payload.begin() + AddressOffset, report.begin(),
                   toByte);
    std::transform(payload.begin() + AddressOffset, payload.end(), address.begin(), toByte);
    return true;
}

std::int32_t ButtonPortServer::Stop() {
    std::optional<pthread_t> toJoin;
    {
        const std::lock_guard guard(lock);
        if (port) {
            // Waits for a message being handled; none starts after. An invalid port is left as
            // it is, so no validity test comes first: that test would wait for the message
            // being handled without asking for the invalidation, and let queued ones start.
            port->invalidate();
            port.reset();
        }
        if (runLoop) {
            runLoop->stop();
            runLoop = nullptr;
        }
        // Every thread that was created is joined, also one that ended by itself.
        toJoin = std::exchange(thread, std::nullopt);
    }
    // Outside the lock: the thread needs it to finish.
    if (toJoin) {
        ::pthread_join(*toJoin, nullptr);
        const std::lock_guard guard(lock);
        running = false;
    }
    return 0;
}

}  // namespace monitor
