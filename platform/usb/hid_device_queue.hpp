#pragma once
// An event queue on an open HID device: a source on the main run loop reads the device's input
// reports without blocking, and each report queues one event for every queued element whose
// value it changed (hid_event_queue.hpp). After each report that queued an event, the callout
// runs on the main thread; it takes the events with next_event().
//
// A hidraw node returns one report per read, and each read is taken as one report, fitted to
// the length the descriptor gives its report ID (hid_report_splitter.hpp): a report of the
// wrong length does not shift the ones after it. A node that delivers a byte stream (an
// emulated one; see HidDevice::reads_whole_reports) is cut into reports by those lengths.
// Each wake-up of the reading source handles at most one report, so that a device sending
// without pause holds off neither the loop's other sources nor a quit request: a node with
// more to read wakes the source again, and the rest of a stream's read is taken up by a task
// posted to the loop. When the node reports an error or its end (the device went
// away), the queue stops reading; the events already queued stay.
//
// Main thread only: create, start, stop, destroy and take events there. The callout may stop
// or destroy its own queue; reading then ends after the callout returns.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "platform/base/result.hpp"
#include "platform/usb/hid_device.hpp"
#include "platform/usb/hid_event_queue.hpp"

namespace platform::usb {

class HidDeviceQueue {
public:
    // A queue of that depth (at least 1) on the device, not yet reading. It reads a duplicate
    // of the device's descriptor, so it does not depend on the HidDevice object staying alive.
    static Result<HidDeviceQueue> create(const HidDevice& device,
                                         std::size_t depth = kHidDefaultQueueDepth);

    HidDeviceQueue(HidDeviceQueue&&) noexcept = default;
    HidDeviceQueue& operator=(HidDeviceQueue&&) noexcept;
    HidDeviceQueue(const HidDeviceQueue&) = delete;
    HidDeviceQueue& operator=(const HidDeviceQueue&) = delete;
    ~HidDeviceQueue();

    // Any cookie (see HidEventQueue::add_element).
    void add_element(std::uint32_t cookie);
    void set_callout(std::function<void()> callout);

    // Puts the reading source on the main run loop; starting a started queue does nothing.
    // Fails off the main thread or when the loop refuses the source.
    Result<void> start();
    // Removes the source; what the node delivers meanwhile waits in the node, and what was
    // read from it waits in the queue, until the next start().
    void stop();
    bool started() const;

    // The oldest event; empty when the queue is empty.
    std::optional<HidEvent> next_event();
    std::size_t size() const;
    std::uint64_t dropped_events() const;

private:
    struct State;
    explicit HidDeviceQueue(std::shared_ptr<State> state);
    static void read_reports(const std::shared_ptr<State>& state);
    static void handle_report(const std::shared_ptr<State>& state,
                              std::span<const std::uint8_t> report);
    static void resume_later(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};

}  // namespace platform::usb
