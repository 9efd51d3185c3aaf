#pragma once
// Plays the Linux Source Manager and an application in front of twain-source's DS_Entry, in the
// test's own process: the probe with a null origin, DAT_ENTRYPOINT with memory functions that
// count what is allocated and freed, MSG_OPENDS with the application's identity, the messages
// the source sends back through DSM_Entry, and the steps of an acquisition by each mechanism.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sane_backend/protocol/twain_codes.hpp"

namespace sane_testing {

// One value of a capability container, as read back.
struct CapabilityValue {
    twain::TW_UINT16 container = 0;
    twain::TW_UINT16 item_type = 0;
    std::vector<double> items;  // ONEVALUE: one; ENUMERATION/ARRAY: all; RANGE: min max step default current
    std::size_t current = 0;
    std::size_t default_index = 0;
    std::vector<twain::TW_FRAME> frames;  // for TWTY_FRAME items
};

// An image as a transfer delivered it.
struct Transferred {
    twain::TW_UINT16 rc = 0;                     // the transfer's final return code
    twain::TW_UINT16 condition = 0;              // and its condition code, asked at once
    twain::TW_IMAGEINFO info{};                  // asked before the transfer
    twain::TW_IMAGEINFO info_after{};            // asked once it ended (the real height)
    std::vector<std::uint8_t> bytes;             // native: the TIFF; memory: the lines; file: the file
    std::vector<twain::TW_IMAGEMEMXFER> strips;  // memory transfers
};

class SourceManager {
public:
    SourceManager();
    ~SourceManager();
    SourceManager(const SourceManager&) = delete;
    SourceManager& operator=(const SourceManager&) = delete;

    // DS_Entry from the application.
    twain::TW_UINT16 call(twain::TW_UINT32 group, twain::TW_UINT16 data, twain::TW_UINT16 message, void* pointer);
    // The condition code behind the last failure (DAT_STATUS), or 0xFFFF when that fails too.
    twain::TW_UINT16 condition();

    // The Source Manager's probe: DAT_IDENTITY/MSG_GET with a null origin.
    twain::TW_IDENTITY probe();
    // DAT_ENTRYPOINT (when the identity carries DF_DS2, as the Source Manager does), then
    // MSG_OPENDS; on failure DAT_STATUS is asked at once, as the Source Manager does.
    twain::TW_UINT16 open(bool with_entry_points = true);
    twain::TW_UINT16 close();
    twain::TW_UINT16 open_condition() const { return open_condition_; }

    twain::TW_UINT16 set(twain::TW_UINT16 capability, twain::TW_UINT16 type, double value);
    twain::TW_UINT16 set_frame(twain::TW_UINT16 capability, const twain::TW_FRAME& frame);
    // MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET or MSG_QUERYSUPPORT; the container is
    // read and freed.
    std::optional<CapabilityValue> get(twain::TW_UINT16 capability, twain::TW_UINT16 message = twain::MSG_GET);
    // The current value of a one-value capability.
    double current(twain::TW_UINT16 capability);

    // libsane's test device reads each page on a thread of its own, which sane_cancel stops
    // with an asynchronous pthread_cancel: cancelled while it allocates or frees its picture, it
    // dies holding the allocator's lock and the cancel never returns (a flaw of libsane). The
    // source waits a moment before it cancels a scan it has just started; the tests do not count
    // on a moment being enough: they wait until that thread is blocked writing to its pipe or
    // gone (enabling and ending a transfer do so by themselves), and scans they abandon are
    // small enough for the thread to be gone (small_frame).
    static void settle_device();
    // A frame of a fifth of an inch square: the test device's reader thread writes such a scan
    // into its pipe at once and is gone, so that cancelling the scan meets no thread at all.
    // For tests whose point is a scan abandoned or failed, not its pixels.
    twain::TW_UINT16 small_frame();

    twain::TW_UINT16 enable(bool show_ui = false);
    twain::TW_UINT16 disable();
    twain::TW_UINT16 end_transfer(twain::TW_UINT16* count = nullptr);
    twain::TW_UINT16 reset_transfers(twain::TW_UINT16* count = nullptr);

    // One image by the current mechanism (set it first), from state 6 to 7.
    Transferred native();
    Transferred memory(std::size_t buffer_bytes = 0);  // 0: the source's preferred size
    Transferred file(const std::filesystem::path& path, twain::TW_UINT16 format);

    // Messages the source sent through DSM_Entry (DAT_NULL messages), in order, with the origin's
    // Id and the destination's product name of each.
    const std::vector<twain::TW_UINT16>& messages() const { return messages_; }
    const std::vector<twain::TW_UINT32>& message_origins() const { return origins_; }
    const std::vector<std::string>& message_destinations() const { return destinations_; }
    // Memory from the Source Manager's allocator not freed yet.
    std::size_t live_allocations() const { return live_.size(); }
    std::size_t allocations() const { return allocations_; }
    void free(twain::TW_HANDLE handle);

    twain::TW_IDENTITY& application() { return application_; }

private:
    static twain::TW_UINT16 entry(twain::pTW_IDENTITY origin, twain::pTW_IDENTITY destination, twain::TW_UINT32 group,
                                  twain::TW_UINT16 data, twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    static twain::TW_HANDLE allocate(twain::TW_UINT32 size);
    static void release(twain::TW_HANDLE handle);
    static twain::TW_MEMREF lock(twain::TW_HANDLE handle);
    static void unlock(twain::TW_HANDLE handle);

    twain::TW_IDENTITY application_{};
    twain::TW_IDENTITY source_{};
    twain::TW_UINT16 open_condition_ = 0;
    std::vector<twain::TW_UINT16> messages_;
    std::vector<twain::TW_UINT32> origins_;
    std::vector<std::string> destinations_;
    std::map<void*, std::size_t> live_;
    std::size_t allocations_ = 0;
};

}  // namespace sane_testing
