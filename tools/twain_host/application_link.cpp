#include "tools/twain_host/application_link.hpp"

#include <cstring>
#include <thread>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/source_manager.hpp"
#include "tools/twain_host/triplet_names.hpp"

namespace twain_host {

namespace {

using namespace twain;

// The callback has no room for a pointer on Linux (RefCon is 32 bits), so it finds the link here.
ApplicationLink* live_link = nullptr;

template <std::size_t Size>
void copy_text(char (&field)[Size], const char* text) {
    std::strncpy(field, text, Size - 1);
}

}  // namespace

std::string describe(const StepFailure& failure) {
    std::string text = failure.step + " -> " + return_code_name(failure.code);
    if (failure.condition) text += ", " + condition_code_name(*failure.condition);
    return text;
}

ApplicationLink::ApplicationLink() {
    identity_.Version.MajorNum = 1;
    identity_.Version.Language = TWLG_USA;
    identity_.Version.Country = TWCY_USA;
    copy_text(identity_.Version.Info, "twain-host");
    // A 2.4 application: the Source Manager refuses its nested calls.
    identity_.ProtocolMajor = 2;
    identity_.ProtocolMinor = 4;
    identity_.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
    copy_text(identity_.Manufacturer, "Velmora");
    copy_text(identity_.ProductFamily, "Tools");
    copy_text(identity_.ProductName, "twain-host");
    live_link = this;
}

ApplicationLink::~ApplicationLink() { live_link = nullptr; }

TW_UINT16 ApplicationLink::to_manager(TW_UINT32 group, TW_UINT16 data_type, TW_UINT16 message,
                                      TW_MEMREF data) {
    return SourceManager::entry(&identity_, nullptr, group, data_type, message, data);
}

TW_UINT16 ApplicationLink::to_source(TW_UINT32 group, TW_UINT16 data_type, TW_UINT16 message,
                                     TW_MEMREF data) {
    return SourceManager::entry(&identity_, &source_, group, data_type, message, data);
}

StepFailure ApplicationLink::manager_failure(std::string step, TW_UINT16 code) {
    StepFailure failure{std::move(step), code, std::nullopt};
    TW_STATUS status{};
    if (to_manager(DG_CONTROL, DAT_STATUS, MSG_GET, &status) == TWRC_SUCCESS)
        failure.condition = status.ConditionCode;
    return failure;
}

StepFailure ApplicationLink::source_failure(std::string step, TW_UINT16 code) {
    StepFailure failure{std::move(step), code, std::nullopt};
    TW_STATUS status{};
    if (to_source(DG_CONTROL, DAT_STATUS, MSG_GET, &status) == TWRC_SUCCESS)
        failure.condition = status.ConditionCode;
    return failure;
}

bool ApplicationLink::take_entry_points() {
    entry_points_ = TW_ENTRYPOINT{};
    entry_points_.Size = sizeof entry_points_;
    return to_manager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry_points_) == TWRC_SUCCESS &&
           entry_points_.DSM_MemAllocate && entry_points_.DSM_MemFree &&
           entry_points_.DSM_MemLock && entry_points_.DSM_MemUnlock;
}

TW_UINT16 ApplicationLink::register_callback() {
    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&ApplicationLink::callback);
    return to_source(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
}

TW_UINT16 ApplicationLink::callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16 data_type,
                                    TW_UINT16 message, TW_MEMREF) {
    // Only noted here: the source must not be called back while its callback runs.
    if (!live_link || data_type != DAT_NULL) return TWRC_FAILURE;
    {
        const std::lock_guard lock(live_link->mutex_);
        live_link->messages_.push_back(message);
    }
    live_link->arrived_.notify_all();
    return TWRC_SUCCESS;
}

platform::Result<TW_UINT16> ApplicationLink::next_message(bool poll,
                                                          std::chrono::seconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    const platform::Error silence{"the data source sent no message in " +
                                  std::to_string(patience.count()) + " seconds"};
    if (!poll) {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_until(lock, deadline, [this] { return !messages_.empty(); }))
            return silence;
        const TW_UINT16 message = messages_.front();
        messages_.pop_front();
        return message;
    }
    // Linux has no window events to hand over: every poll carries none.
    while (std::chrono::steady_clock::now() < deadline) {
        TW_EVENT event{};
        const TW_UINT16 code = to_source(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        if (code == TWRC_DSEVENT && event.TWMessage != MSG_NULL) return event.TWMessage;
        if (code != TWRC_DSEVENT && code != TWRC_NOTDSEVENT) {
            return platform::Error{
                describe(source_failure("DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT", code))};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return silence;
}

}  // namespace twain_host
