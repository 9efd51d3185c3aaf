#pragma once
// The application's end of a session with the Source Manager: its identity, the data source it
// opened, the memory functions the Source Manager handed it (DAT_ENTRYPOINT), and the messages
// the source sends it, by callback or by DAT_EVENT/MSG_PROCESSEVENT. Every call goes through the
// Source Manager's DSM_Entry, as a real application's does.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "platform/base/result.hpp"
#include "sane_backend/protocol/twain_records.hpp"

namespace twain_host {

// A TWAIN step that did not succeed, with what the Source Manager or the source said.
struct StepFailure {
    std::string step;  // "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS", with details where they help
    twain::TW_UINT16 code = 0;
    std::optional<twain::TW_UINT16> condition;  // from DAT_STATUS, when it answered
};

// "DG_.../DAT_.../MSG_... -> TWRC_FAILURE (1), TWCC_BADVALUE (10)"
std::string describe(const StepFailure& failure);

class ApplicationLink {
public:
    ApplicationLink();
    ApplicationLink(const ApplicationLink&) = delete;
    ApplicationLink& operator=(const ApplicationLink&) = delete;
    ~ApplicationLink();

    twain::TW_IDENTITY& identity() { return identity_; }
    twain::TW_IDENTITY& source() { return source_; }

    // To the Source Manager itself (no destination), and to the open source.
    twain::TW_UINT16 to_manager(twain::TW_UINT32 group, twain::TW_UINT16 data_type,
                                twain::TW_UINT16 message, twain::TW_MEMREF data);
    twain::TW_UINT16 to_source(twain::TW_UINT32 group, twain::TW_UINT16 data_type,
                               twain::TW_UINT16 message, twain::TW_MEMREF data);
    // The failure of the last call, its condition code asked from the Source Manager or the source.
    StepFailure manager_failure(std::string step, twain::TW_UINT16 code);
    StepFailure source_failure(std::string step, twain::TW_UINT16 code);

    // After MSG_OPENDSM: the memory functions from DAT_ENTRYPOINT.
    bool take_entry_points();
    twain::TW_HANDLE allocate(twain::TW_UINT32 size) const {
        return entry_points_.DSM_MemAllocate(size);
    }
    void free(twain::TW_HANDLE handle) const { entry_points_.DSM_MemFree(handle); }
    twain::TW_MEMREF lock(twain::TW_HANDLE handle) const {
        return entry_points_.DSM_MemLock(handle);
    }
    void unlock(twain::TW_HANDLE handle) const { entry_points_.DSM_MemUnlock(handle); }

    // DAT_CALLBACK/MSG_REGISTER_CALLBACK with this link's callback.
    twain::TW_UINT16 register_callback();
    // The source's next message (MSG_XFERREADY, MSG_CLOSEDSREQ, ...): from the callback, or, when
    // polling, by DAT_EVENT/MSG_PROCESSEVENT until one comes. Fails when none came in the time or
    // a poll failed.
    platform::Result<twain::TW_UINT16> next_message(bool poll, std::chrono::seconds patience);

private:
    static twain::TW_UINT16 callback(twain::pTW_IDENTITY origin, twain::pTW_IDENTITY destination,
                                     twain::TW_UINT32 group, twain::TW_UINT16 data_type,
                                     twain::TW_UINT16 message, twain::TW_MEMREF data);

    twain::TW_IDENTITY identity_{};
    twain::TW_IDENTITY source_{};
    twain::TW_ENTRYPOINT entry_points_{};
    std::mutex mutex_;  // the callback may come on a thread of the source's
    std::condition_variable arrived_;
    std::deque<twain::TW_UINT16> messages_;
};

}  // namespace twain_host
