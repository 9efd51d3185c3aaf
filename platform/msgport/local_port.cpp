#include "platform/msgport/local_port.hpp"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/errno_text.hpp"

namespace platform::msgport {

namespace {

constexpr std::string_view ports_folder = "msgports";
constexpr std::size_t header_size = 4;

}  // namespace

Result<std::unique_ptr<LocalPort>> LocalPort::create(std::string_view name, Handler handler) {
    auto claimed = NamedSocket::claim(ports_folder, name);
    if (!claimed) return claimed.error();
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) return Error{errno_text("cannot create eventfd", errno)};
    return std::unique_ptr<LocalPort>(new LocalPort(std::string(name), std::move(claimed).value(),
                                                    std::move(wake), std::move(handler)));
}

LocalPort::LocalPort(std::string name, NamedSocket socket, UniqueFd wake, Handler handler)
    : name_(std::move(name)),
      handler_(std::move(handler)),
      socket_(std::move(socket)),
      wake_(std::move(wake)),
      buffer_(max_message_size) {}

LocalPort::~LocalPort() {
    const std::lock_guard guard(lock_);
    socket_source_.reset();
    wake_source_.reset();
    close_locked();
}

Result<void> LocalPort::schedule_on_current_loop() {
    const std::lock_guard guard(lock_);
    if (!valid_) return Error{"port " + name_ + " is invalid"};
    if (scheduled_) return Error{"port " + name_ + " is already scheduled"};
    auto& loop = runloop::RunLoop::current();
    auto readable = loop.add_fd(socket_->fd(), EPOLLIN, [this](std::uint32_t) { on_readable(); });
    if (!readable) return readable.error();
    auto woken = loop.add_fd(wake_.get(), EPOLLIN, [this](std::uint32_t) { on_invalidated(); });
    if (!woken) return woken.error();
    socket_source_ = std::move(readable.value());
    wake_source_ = std::move(woken.value());
    scheduled_ = true;
    return {};
}

void LocalPort::unschedule() {
    const std::lock_guard guard(lock_);
    socket_source_.reset();
    wake_source_.reset();
    scheduled_ = false;
    if (!valid_) close_locked();
}

void LocalPort::invalidate() {
    std::unique_lock guard(lock_);
    if (valid_) {
        valid_ = false;
        if (scheduled_) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
        } else {
            close_locked();
        }
    }
    const auto caller = std::this_thread::get_id();
    dispatched_.wait(guard, [&] { return !dispatching_ || *dispatching_ == caller; });
}

bool LocalPort::is_valid() const {
    const std::lock_guard guard(lock_);
    return valid_;
}

void LocalPort::close_locked() { socket_.reset(); }

void LocalPort::on_invalidated() {
    // Runs on the serving loop: the sources go, so a loop serving only this port finishes.
    unschedule();
}

void LocalPort::on_readable() {
    // One datagram per wake-up keeps other sources of the loop (a stop, the invalidation) from
    // waiting behind a flood; the level-triggered watch calls again while more are queued.
    std::unique_lock guard(lock_);
    if (!valid_ || !socket_) return;
    auto received = socket_->receive(buffer_);
    if (!received || !*received) return;
    const auto datagram = **received;
    if (datagram.truncated || datagram.size < header_size) return;
    const auto* bytes = buffer_.data();
    const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) |
                                              (static_cast<std::uint32_t>(bytes[1]) << 8) |
                                              (static_cast<std::uint32_t>(bytes[2]) << 16) |
                                              (static_cast<std::uint32_t>(bytes[3]) << 24));
    // Only this thread uses the socket and the buffer while the port is scheduled, so the lock
    // can be let go for the handler.
    dispatching_ = std::this_thread::get_id();
    guard.unlock();
    handler_(id, std::span<const std::byte>(bytes + header_size, datagram.size - header_size));
    guard.lock();
    dispatching_.reset();
    guard.unlock();
    dispatched_.notify_all();
}

Result<void> send_message(std::string_view port_name, std::int32_t message_id,
                          std::span<const std::byte> payload) {
    if (payload.size() > max_message_size - header_size) {
        return Error{"message too large for port " + std::string(port_name)};
    }
    std::vector<std::byte> datagram(header_size + payload.size());
    const auto id = static_cast<std::uint32_t>(message_id);
    for (std::size_t i = 0; i < header_size; ++i) {
        datagram[i] = static_cast<std::byte>((id >> (8 * i)) & 0xFF);
    }
    std::copy(payload.begin(), payload.end(), datagram.begin() + header_size);
    return send_to_name(ports_folder, port_name, datagram);
}

}  // namespace platform::msgport
