#pragma once
// Local named message ports. A server creates the port under a name (a second server learns
// that the name is taken), schedules it on its own thread's run loop, and gets every message
// there, one at a time, in arrival order. A message is a datagram: the message ID (signed
// 32-bit, little-endian) followed by the payload. Shorter datagrams, datagrams of other users
// and datagrams larger than max_message_size are dropped. There is no reply.
//
// Any thread may invalidate a port: from then on no message is dispatched, and the serving loop
// removes the port's source and closes its socket, which frees the name. A port that is not
// scheduled is closed at once.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/base/result.hpp"
#include "platform/base/unique_fd.hpp"
#include "platform/msgport/named_socket.hpp"
#include "platform/runloop/run_loop.hpp"

namespace platform::msgport {

inline constexpr std::size_t max_message_size = 64 * 1024;

class LocalPort {
public:
    using Handler =
        std::function<void(std::int32_t message_id, std::span<const std::byte> payload)>;

    // Status -904 (portNameExistsErr) when another server holds the name.
    static Result<std::unique_ptr<LocalPort>> create(std::string_view name, Handler handler);

    LocalPort(const LocalPort&) = delete;
    LocalPort& operator=(const LocalPort&) = delete;
    // Unschedules and closes. Destroy a scheduled port on its loop's thread, or once that
    // thread has ended.
    ~LocalPort();

    const std::string& name() const { return name_; }

    // Adds the port's source to the calling thread's run loop. Fails when the port is invalid
    // or already scheduled.
    Result<void> schedule_on_current_loop();
    // Removes the source again (on the loop's thread); an invalid port is closed with it.
    void unschedule();

    // Any thread. Waits for a message being dispatched to finish; none starts once it is
    // called, even while it waits for that one. A handler may invalidate its own port: it does
    // not wait for itself.
    void invalidate();
    bool is_valid() const;

private:
    LocalPort(std::string name, NamedSocket socket, UniqueFd wake, Handler handler);
    void on_readable();
    void on_invalidated();
    void close_locked();

    std::string name_;
    Handler handler_;
    // Guards the state below; never held while the handler runs, so that the handler may use the
    // port and invalidate() is not kept from marking it invalid by a long handler.
    mutable std::mutex lock_;
    bool valid_ = true;
    bool scheduled_ = false;
    // The serving thread while it runs the handler; invalidate() waits on dispatched_ until that
    // ends, unless the handler itself invalidates.
    std::optional<std::thread::id> dispatching_;
    std::condition_variable dispatched_;
    std::optional<NamedSocket> socket_;
    UniqueFd wake_;  // eventfd written by invalidate() for the serving loop
    runloop::Source socket_source_;
    runloop::Source wake_source_;
    std::vector<std::byte> buffer_;
};

// The sending side: one message to the port of that name; waits while the port's queue is full.
// Status -600 (procNotFound) when nobody serves the name.
Result<void> send_message(std::string_view port_name, std::int32_t message_id,
                          std::span<const std::byte> payload);

}  // namespace platform::msgport
