#include "platform/usb/hid_device_queue.hpp"

#include <fcntl.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/base/errno_text.hpp"
#include "platform/base/unique_fd.hpp"
#include "platform/runloop/run_loop.hpp"
#include "platform/usb/hid_report_splitter.hpp"

namespace platform::usb {

namespace {

// A hidraw read returns one report; the largest the kernel hands out, with its ID byte.
constexpr std::size_t kReadBufferSize = kHidMaxReportDataBytes + 1;

std::uint64_t now_ns() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

// Shared with the reading source, so that a callout that destroys its queue leaves the reader
// something to return through.
struct HidDeviceQueue::State {
    State(UniqueFd node, bool whole, const HidReportDescriptor& descriptor, std::size_t depth)
        : fd(std::move(node)),
          whole_reads(whole),
          splitter(descriptor),
          events(descriptor, depth),
          buffer(kReadBufferSize) {}

    UniqueFd fd;
    bool whole_reads;  // one report per read (see HidDevice::reads_whole_reports)
    HidReportSplitter splitter;
    HidEventQueue events;
    std::function<void()> callout;
    runloop::Source source;
    std::vector<std::uint8_t> buffer;
    // Of a byte stream: bytes read into the buffer and not yet cut into reports. The node is
    // read again only once they are used up.
    std::span<const std::uint8_t> unread;
    bool resume_posted = false;
};

Result<HidDeviceQueue> HidDeviceQueue::create(const HidDevice& device, std::size_t depth) {
    UniqueFd node(::fcntl(device.fd(), F_DUPFD_CLOEXEC, 0));
    if (!node) return Error{errno_text(device.devnode(), errno)};
    return HidDeviceQueue(std::make_shared<State>(std::move(node), device.reads_whole_reports(),
                                                  device.descriptor(), depth));
}

HidDeviceQueue::HidDeviceQueue(std::shared_ptr<State> state) : state_(std::move(state)) {}

HidDeviceQueue& HidDeviceQueue::operator=(HidDeviceQueue&& other) noexcept {
    if (this != &other) {
        stop();
        state_ = std::move(other.state_);
    }
    return *this;
}

HidDeviceQueue::~HidDeviceQueue() { stop(); }

void HidDeviceQueue::add_element(std::uint32_t cookie) { state_->events.add_element(cookie); }

void HidDeviceQueue::set_callout(std::function<void()> callout) {
    state_->callout = std::move(callout);
}

Result<void> HidDeviceQueue::start() {
    auto& loop = runloop::RunLoop::main();
    if (&runloop::RunLoop::current() != &loop) {
        return Error{"a HID queue is started on the main thread"};
    }
    if (state_->source.active()) return {};
    const std::weak_ptr<State> weak = state_;
    auto source = loop.add_fd(state_->fd.get(), EPOLLIN, [weak](std::uint32_t) {
        if (auto state = weak.lock()) read_reports(state);
    });
    if (!source) return source.error();
    state_->source = std::move(source.value());
    if (!state_->unread.empty()) resume_later(state_);
    return {};
}

void HidDeviceQueue::stop() {
    if (state_) state_->source.reset();
}

bool HidDeviceQueue::started() const { return state_ && state_->source.active(); }

std::optional<HidEvent> HidDeviceQueue::next_event() { return state_->events.next_event(); }

std::size_t HidDeviceQueue::size() const { return state_->events.size(); }

std::uint64_t HidDeviceQueue::dropped_events() const { return state_->events.dropped_events(); }

void HidDeviceQueue::read_reports(const std::shared_ptr<State>& state) {
    if (!state->source.active()) return;
    if (state->unread.empty()) {
        ssize_t count = 0;
        do {
            count = ::read(state->fd.get(), state->buffer.data(), state->buffer.size());
        } while (count < 0 && errno == EINTR);
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (count <= 0) {
            // The node is gone or broken: it would be reported readable for ever.
            state->source.reset();
            return;
        }
        const std::span<const std::uint8_t> bytes(state->buffer.data(),
                                                  static_cast<std::size_t>(count));
        if (state->whole_reads) {
            if (const auto report = state->splitter.whole_report(bytes))
                handle_report(state, *report);
            return;
        }
        state->unread = bytes;
    }
    const auto report = state->splitter.next_report(state->unread);
    // The node may have nothing more to read, and then never wakes the source for the rest.
    // Posted before the callout runs, so that the next report of this read comes before
    // anything the callout posts (as a reader that reopens itself from its callout does).
    if (!state->unread.empty()) resume_later(state);
    if (report) handle_report(state, *report);
}

void HidDeviceQueue::handle_report(const std::shared_ptr<State>& state,
                                   std::span<const std::uint8_t> report) {
    if (state->events.handle_report(report, now_ns()) == 0 || !state->callout) return;
    // A copy: the callout may replace itself or end the queue.
    auto callout = state->callout;
    callout();
}

void HidDeviceQueue::resume_later(const std::shared_ptr<State>& state) {
    if (state->resume_posted) return;
    state->resume_posted = true;
    runloop::RunLoop::main().post([weak = std::weak_ptr<State>(state)] {
        if (const auto resumed = weak.lock()) {
            resumed->resume_posted = false;
            read_reports(resumed);
        }
    });
}

}  // namespace platform::usb
