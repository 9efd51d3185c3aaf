#pragma once
// The server of "OSPREY_HID_MSG_PORT": it owns the port and a thread of its own that does nothing
// but serve it. Each accepted NetworkButtonEvent is copied into the server and handled on that
// thread (HandleNetworkEvent); the sender gets no reply.
//
// The main thread constructs, starts, stops and deletes the server. The port thread runs
// ServePort, every OnPortMessage and the handling. thread, running, runLoop, port and portState
// are used by both and guarded by lock; the message fields (report, address, scanType, directValue,
// resolution) belong to the port thread alone.

#include <pthread.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "monitor/core/service_status.hpp"
#include "platform/msgport/local_port.hpp"
#include "platform/runloop/run_loop.hpp"

namespace monitor {

class ButtonPortServer {
public:
    // Stores the initial values and does nothing else.
    ButtonPortServer() = default;
    ButtonPortServer(const ButtonPortServer&) = delete;
    ButtonPortServer& operator=(const ButtonPortServer&) = delete;
    // Runs Stop.
    ~ButtonPortServer();

    // Creates the port and the thread that serves it. When the port cannot be created (the name
    // is served already, or no resources) no thread is started; the journal says why.
    void Start();
    // After Start: waits until the port thread serves the port or has found that it cannot, and
    // says which. Without a port thread the answer is there at once.
    PortState AwaitPortState();
    // Invalidates and releases the port (no message is handled after it), stops the port
    // thread's run loop and joins the thread. Waits for a message being handled to be handled
    // completely. May run again; it then finds nothing to do. Returns 0.
    std::int32_t Stop();

    // The port's callback, on the port thread: a 12-byte payload is copied into report and
    // address and handled; any other payload is ignored. The message ID is not used.
    void OnPortMessage(std::int32_t msgid, std::span<const std::byte> payload);
    // OnPortMessage's first step: false, and the fields unchanged, for a payload that is not a
    // NetworkButtonEvent.
    bool CopyMessage(std::span<const std::byte> payload);
    // Acts on report and address as their bytes say (network_event_handling.cpp): 0 when the
    // event was handled, -1 when it was not for the monitor, carried an unknown command or asked
    // for the refused scan type.
    std::int32_t HandleNetworkEvent();
    // The address in dotted decimal; nullopt only when no text could be made.
    std::optional<std::string> CopyAddressString() const;

    // The message fields, for the port thread (or any thread once Stop has returned).
    const std::array<std::uint8_t, 8>& Report() const { return report; }
    const std::array<std::uint8_t, 4>& Address() const { return address; }
    std::uint32_t ScanType() const { return scanType; }
    std::uint32_t DirectValue() const { return directValue; }
    std::uint32_t Resolution() const { return resolution; }

private:
    // With lock held. 0, or -1 when no port was created (portState then says why).
    std::int32_t CreatePort();
    // The port thread's whole body.
    std::int32_t ServePort();
    static void* PortThreadMain(void* server);
    // Joins a port thread that ended by itself, so that Start never drops a thread unjoined.
    void JoinEndedThread();

    void SendScanRequest();
    void RefreshDestinationList();
    void FinishNetworkScan();

    std::mutex lock;
    std::optional<pthread_t> thread;  // set from the thread's creation until it is joined
    bool running = false;
    platform::runloop::RunLoop* runLoop = nullptr;  // the port thread's loop while it serves
    // Shared with the port thread, which holds its own reference while it serves, so that the
    // port is destroyed on that thread once its source is gone, whenever Stop lets go of it.
    std::shared_ptr<platform::msgport::LocalPort> port;
    // Unset from the start of a port thread until it serves the port or gives up (portDecided).
    std::optional<PortState> portState = PortState::NotServed;
    std::condition_variable portDecided;

    std::array<std::uint8_t, 8> report{};
    std::array<std::uint8_t, 4> address{};
    std::uint32_t scanType = 0;
    std::uint32_t directValue = 0;
    std::uint32_t resolution = 0;
};

}  // namespace monitor
