#pragma once
// One opened SANE device: its options found by name, numbers and strings read and set, and the
// scan calls. Option descriptors are looked up afresh on every access, since setting one option
// may change the others (SANE_INFO_RELOAD_OPTIONS), and some backends accept a value only for an
// option whose descriptor was fetched.

#include <sane/sane.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sane_backend/sane/scan_threads.hpp"
#include "sane_backend/settings/numeric_constraint.hpp"

namespace sane_backend {

struct NumberSet {
    SANE_Status status = SANE_STATUS_INVAL;
    double value = 0;  // what the option holds afterwards
};

class SaneDevice {
public:
    // sane_open; null with the status when the device cannot be opened.
    static std::unique_ptr<SaneDevice> open(const std::string& name, SANE_Status& status);
    ~SaneDevice();  // cancels a scan still running, then sane_close
    SaneDevice(const SaneDevice&) = delete;
    SaneDevice& operator=(const SaneDevice&) = delete;

    const std::string& name() const { return name_; }

    // Whether the device has the option, and whether it is active and settable now.
    bool has(std::string_view option) const;
    bool active(std::string_view option) const;
    bool settable(std::string_view option) const;
    // The option's unit (SANE_UNIT_MM, SANE_UNIT_DPI, ...), SANE_UNIT_NONE when absent.
    SANE_Unit unit(std::string_view option) const;

    // Integer and fixed options of one word, as numbers.
    std::optional<double> number(std::string_view option) const;
    NumericConstraint number_constraint(std::string_view option) const;
    NumberSet set_number(std::string_view option, double value);

    // String options.
    std::optional<std::string> string(std::string_view option) const;
    std::vector<std::string> string_list(std::string_view option) const;
    SANE_Status set_string(std::string_view option, const std::string& value);

    // Whether the device still answers (it reads the option count).
    bool responds() const;

    SANE_Status start();
    SANE_Status parameters(SANE_Parameters& parameters) const;
    // Reads what the frame has ready, up to max_length. When the frame's size is known, its last
    // byte is handed over by a read of its own, made once the threads the scan started have ended
    // (see ScanThreads), or kThreadEndLimit later. A device whose threads outlive a frame that
    // long is not waited for again.
    SANE_Status read(std::uint8_t* buffer, std::size_t max_length, std::size_t& length);
    static constexpr std::chrono::milliseconds kThreadEndLimit{2000};
    // Ends a scan in progress (and the batch of a document feeder); harmless when idle.
    //
    // A scan is not cancelled in the first moments after its start: libsane's backends that
    // read on a thread of their own (sanei_thread, SANE's test device among them) stop that
    // thread with an asynchronous pthread_cancel, and one stopped while it allocates its first
    // buffer dies holding malloc's lock, so that sane_cancel waits for it for ever. The thread
    // is past that allocation microseconds after it starts; a cancel asked earlier than
    // kCancelGrace after the start waits out the rest of it.
    void cancel();
    static constexpr std::chrono::milliseconds kCancelGrace{20};

private:
    SaneDevice(SANE_Handle handle, std::string name) : handle_(handle), name_(std::move(name)) {}
    struct Found {
        SANE_Int index;
        const SANE_Option_Descriptor* descriptor;
    };
    std::optional<Found> find(std::string_view option) const;

    SANE_Handle handle_;
    std::string name_;
    bool scanning_ = false;
    std::chrono::steady_clock::time_point started_{};
    ScanThreads scan_threads_ = ScanThreads::before_start();
    std::size_t frame_bytes_ = 0;  // 0: unknown
    std::size_t frame_read_ = 0;
    bool threads_end_with_frames_ = true;
};

}  // namespace sane_backend
