#include "monitor/netport/button_port_server.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "monitor/core/monitor_report.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "platform/base/errno_text.hpp"
#include "platform/base/os_status.hpp"
#include "platform/diagnostics/reporting.hpp"

namespace monitor {

namespace msgport = platform::msgport;
namespace diagnostics = platform::diagnostics;
using platform::runloop::RunLoop;

namespace {

constexpr std::string_view kNameTaken = "PORT_NAME_TAKEN";
constexpr std::string_view kNotServed = "PORT_NOT_SERVED";

diagnostics::Entry PortEntry(diagnostics::Priority priority, std::string message,
                             const std::string& reason) {
    diagnostics::Entry entry{
        priority, std::move(message), {{report::kPort, std::string(ButtonPortName)}}};
    if (!reason.empty()) entry.fields.push_back({report::kReason, reason});
    return entry;
}

void ReportNotServed(const std::string& reason) {
    diagnostics::begin_condition(kNotServed, "", [&] {
        return PortEntry(diagnostics::Priority::Error,
                         "cannot serve " + std::string(ButtonPortName) + " (" + reason +
                             "); network scan requests do not reach this monitor",
                         reason);
    });
}

void ReportServing() {
    const auto served = [] {
        return PortEntry(diagnostics::Priority::Notice,
                         "serving " + std::string(ButtonPortName) + " again", "");
    };
    diagnostics::end_condition(kNameTaken, "", served);
    diagnostics::end_condition(kNotServed, "", served);
}

}  // namespace

ButtonPortServer::~ButtonPortServer() { Stop(); }

std::int32_t ButtonPortServer::CreatePort() {
    // Letting go of an earlier port does not invalidate it: a thread still serving it keeps its
    // own reference.
    port.reset();
    auto created = msgport::LocalPort::create(
        ButtonPortName, [this](std::int32_t msgid, std::span<const std::byte> payload) {
            OnPortMessage(msgid, payload);
        });
    if (created) {
        port = std::move(created).value();
        return 0;
    }
    const auto& failure = created.error();
    if (failure.status == platform::os_status::portNameExistsErr) {
        portState = PortState::ServedElsewhere;
        diagnostics::begin_condition(kNameTaken, "", [&] {
            return PortEntry(diagnostics::Priority::Warning,
                             std::string(ButtonPortName) +
                                 " is already served by another process (another button-monitor "
                                 "of this user?); network scan requests go there, not here",
                             failure.message);
        });
    } else {
        portState = PortState::NotServed;
        ReportNotServed(failure.message);
    }
    return -1;
}

void ButtonPortServer::Start() {
    JoinEndedThread();
    // Held across the creation of the thread and the setting of running, so the new thread,
    // which takes the lock before it reads port, finds running set before it can clear it.
    const std::lock_guard guard(lock);
    if (CreatePort() != 0 || running) return;
    pthread_t created{};
    if (const int error =
            ::pthread_create(&created, nullptr, &ButtonPortServer::PortThreadMain, this);
        error != 0) {
        portState = PortState::NotServed;
        ReportNotServed(platform::errno_text("cannot start the port thread", error));
        return;
    }
    thread = created;
    running = true;
    portState.reset();
}

PortState ButtonPortServer::AwaitPortState() {
    std::unique_lock guard(lock);
    portDecided.wait(guard, [this] { return portState.has_value(); });
    return *portState;
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
        if (!port) {
            portState = PortState::NotServed;
            portDecided.notify_all();
            return 0;
        }
        served = port;
        loop = &RunLoop::current();
        runLoop = loop;
        if (auto scheduled = served->schedule_on_current_loop(); scheduled) {
            portState = PortState::Serving;
            ReportServing();
        } else {
            // Not served, so let the name go: senders then learn that nobody serves it rather
            // than filling a queue nobody reads.
            served->invalidate();
            portState = PortState::NotServed;
            ReportNotServed(scheduled.error().message);
        }
        portDecided.notify_all();
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
