#include "tools/twain_host/source_manager.hpp"

#include <cstring>
#include <utility>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/memory_ledger.hpp"
#include "tools/twain_host/triplet_names.hpp"

namespace twain_host {

namespace {

using namespace twain;

SourceManager* live_instance = nullptr;

bool is_transfer_message(TW_UINT16 message) {
    return message == MSG_XFERREADY || message == MSG_CLOSEDSREQ || message == MSG_CLOSEDSOK ||
           message == MSG_DEVICEEVENT;
}

}  // namespace

SourceManager::SourceManager(std::vector<std::filesystem::path> files, Trace& trace)
    : files_(std::move(files)), trace_(trace) {
    live_instance = this;
}

SourceManager::~SourceManager() {
    if (open_) trace_.line("unload " + listed_[open_->index].file.string());
    open_.reset();
    live_instance = nullptr;
}

TW_UINT16 SourceManager::entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 group,
                               TW_UINT16 data_type, TW_UINT16 message, TW_MEMREF data) {
    if (!live_instance || !origin) return TWRC_FAILURE;
    return live_instance->dispatch(origin, destination, group, data_type, message, data);
}

TW_UINT16 SourceManager::dispatch(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 group,
                                  TW_UINT16 data_type, TW_UINT16 message, TW_MEMREF data) {
    // DAT_NULL is the one call that comes from a data source: origin and destination swap.
    if (data_type == DAT_NULL) return from_source(origin, destination, message);
    if (data_type == DAT_EVENT && message == MSG_PROCESSEVENT && open_ && data &&
        is_application(origin) && is_open_source(destination) && open_->waiting_message != 0) {
        static_cast<TW_EVENT*>(data)->TWMessage = open_->waiting_message.exchange(0);
        trace_call("app->dsm", origin, group, data_type, message, TWRC_DSEVENT);
        return TWRC_DSEVENT;
    }
    switch (data_type) {
        case DAT_PARENT: return parent(origin, message);
        case DAT_IDENTITY:
            if (!destination || message == MSG_CLOSEDS)
                return identity(origin, message, static_cast<pTW_IDENTITY>(data));
            break;
        case DAT_ENTRYPOINT: return entry_point(origin, message, data);
        case DAT_STATUS: return status(origin, destination, group, message, data);
        case DAT_CALLBACK:
        case DAT_CALLBACK2: return register_callback(origin, destination, data_type, message, data);
        default: break;
    }
    return forward(origin, destination, group, data_type, message, data);
}

TW_UINT16 SourceManager::parent(pTW_IDENTITY application, TW_UINT16 message) {
    TW_UINT16 code = TWRC_SUCCESS;
    if (message == MSG_OPENDSM) {
        if (application_) {
            code = fail(TWCC_SEQERROR);
        } else {
            application->Id = 1;
            if (application->SupportedGroups & DF_APP2) application->SupportedGroups |= DF_DSM2;
            application_ = *application;
            list_sources();
            condition_ = TWCC_SUCCESS;
        }
    } else if (message == MSG_CLOSEDSM) {
        if (!is_application(application) || open_) {
            code = fail(TWCC_SEQERROR);
        } else {
            application_.reset();
            listed_.clear();
        }
    } else {
        code = fail(TWCC_BADPROTOCOL);
    }
    trace_call("app->dsm", application, DG_CONTROL, DAT_PARENT, message, code);
    return code;
}

void SourceManager::list_sources() {
    for (const auto& file : files_) {
        auto library = DataSourceLibrary::load(file);
        trace_.line("load " + file.string());
        if (!library) {
            trace_.line("  not loaded: " + library.error().message);
            continue;
        }
        Listed listed{file, {}};
        listed.identity.Id = static_cast<TW_UINT32>(listed_.size() + 1);
        // The null origin tells the source that the Source Manager, not an application, asks.
        const TW_UINT16 code =
            library->entry()(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &listed.identity);
        trace_call("dsm->ds", nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, code);
        // Only sources that share a data group beside DG_CONTROL with the application are listed.
        const TW_UINT32 shared =
            application_->SupportedGroups & listed.identity.SupportedGroups & DG_MASK & ~DG_CONTROL;
        if (code == TWRC_SUCCESS && shared != 0) {
            listed.identity.Id = static_cast<TW_UINT32>(listed_.size() + 1);
            listed_.push_back(listed);
        }
        trace_.line("unload " + file.string());
    }
}

TW_UINT16 SourceManager::identity(pTW_IDENTITY application, TW_UINT16 message,
                                  pTW_IDENTITY source) {
    TW_UINT16 code = TWRC_SUCCESS;
    if (!is_application(application)) {
        code = fail(TWCC_SEQERROR);
    } else if (!source) {
        code = fail(TWCC_BADVALUE);
    } else if (message == MSG_GETFIRST || message == MSG_GETNEXT || message == MSG_GETDEFAULT) {
        if (message != MSG_GETNEXT) next_listed_ = 0;
        if (next_listed_ < listed_.size()) {
            *source = listed_[next_listed_++].identity;
        } else {
            code = message == MSG_GETNEXT ? TWRC_ENDOFLIST : fail(TWCC_NODS);
        }
    } else if (message == MSG_OPENDS) {
        code = open_source(source);
    } else if (message == MSG_CLOSEDS) {
        code = close_source(source);
    } else {
        code = fail(TWCC_BADPROTOCOL);
    }
    trace_call("app->dsm", application, DG_CONTROL, DAT_IDENTITY, message, code);
    return code;
}

TW_UINT16 SourceManager::open_source(pTW_IDENTITY source) {
    if (open_) return fail(TWCC_MAXCONNECTIONS);
    // By Id; with Id 0 by product name; with neither, the first listed source.
    std::optional<std::size_t> index;
    for (std::size_t i = 0; i < listed_.size() && !index; ++i) {
        const auto& listed = listed_[i].identity;
        if (source->Id != 0 ? listed.Id == source->Id
                            : (source->ProductName[0] == '\0' ||
                               std::strncmp(listed.ProductName, source->ProductName,
                                            sizeof listed.ProductName) == 0)) {
            index = i;
        }
    }
    if (!index) return fail(TWCC_NODS);
    *source = listed_[*index].identity;

    // As the Source Manager does: loaded and asked its identity once more, now with the
    // application's identity as origin, unloaded, and loaded anew for good, so that a source
    // which cleans up after a null-origin question starts afresh.
    const auto& file = listed_[*index].file;
    {
        auto asked = DataSourceLibrary::load(file);
        trace_.line("load " + file.string());
        if (!asked) {
            trace_.line("  not loaded: " + asked.error().message);
            return fail(TWCC_NODS);
        }
        TW_IDENTITY application_copy = *application_;
        TW_IDENTITY answer{};
        answer.Id = source->Id;
        const TW_UINT16 code =
            asked->entry()(&application_copy, DG_CONTROL, DAT_IDENTITY, MSG_GET, &answer);
        trace_call("dsm->ds", &application_copy, DG_CONTROL, DAT_IDENTITY, MSG_GET, code);
        trace_.line("unload " + file.string());
        if (code != TWRC_SUCCESS) return fail(TWCC_OPERATIONERROR);
    }
    auto library = DataSourceLibrary::load(file);
    trace_.line("load " + file.string());
    if (!library) {
        trace_.line("  not loaded: " + library.error().message);
        return fail(TWCC_NODS);
    }
    open_.emplace(*index, std::move(*library));

    TW_UINT16 code = TWRC_SUCCESS;
    if (source->SupportedGroups & DF_DS2) {
        TW_ENTRYPOINT entry_points{};
        entry_points.Size = sizeof entry_points;
        entry_points.DSM_Entry = &SourceManager::entry;
        entry_points.DSM_MemAllocate = memory_allocate;
        entry_points.DSM_MemFree = memory_free;
        entry_points.DSM_MemLock = memory_lock;
        entry_points.DSM_MemUnlock = memory_unlock;
        code = call_source("dsm->ds", DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry_points);
        if (code != TWRC_SUCCESS) fail(TWCC_OPERATIONERROR);
    }
    if (code == TWRC_SUCCESS) {
        code = call_source("dsm->ds", DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, source);
        if (code != TWRC_SUCCESS) {
            // The source is unloaded below, so its condition code is asked for now and kept for
            // the application's DAT_STATUS.
            TW_STATUS status{};
            const TW_UINT16 asked =
                call_source("dsm->ds", DG_CONTROL, DAT_STATUS, MSG_GET, &status);
            fail(asked == TWRC_SUCCESS ? status.ConditionCode : TWCC_NODS);
        }
    }
    if (code != TWRC_SUCCESS) {
        trace_.line("unload " + file.string());
        open_.reset();
    }
    return code;
}

TW_UINT16 SourceManager::close_source(pTW_IDENTITY source) {
    if (!open_) return fail(TWCC_SEQERROR);
    if (!is_open_source(source)) return fail(TWCC_BADDEST);
    const TW_UINT16 code = call_source("dsm->ds", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, source);
    if (code != TWRC_SUCCESS) return fail(TWCC_OPERATIONERROR);
    trace_.line("unload " + listed_[open_->index].file.string());
    open_.reset();
    return code;
}

TW_UINT16 SourceManager::entry_point(pTW_IDENTITY application, TW_UINT16 message, TW_MEMREF data) {
    TW_UINT16 code = TWRC_SUCCESS;
    auto* entry_points = static_cast<TW_ENTRYPOINT*>(data);
    if (!is_application(application)) {
        code = fail(TWCC_SEQERROR);
    } else if (message != MSG_GET) {
        code = fail(TWCC_BADPROTOCOL);
    } else if (!entry_points || entry_points->Size != sizeof(TW_ENTRYPOINT)) {
        code = fail(TWCC_BADVALUE);
    } else if (!(application->SupportedGroups & DF_APP2)) {
        code = fail(TWCC_BADPROTOCOL);
    } else {
        entry_points->DSM_Entry = &SourceManager::entry;
        entry_points->DSM_MemAllocate = memory_allocate;
        entry_points->DSM_MemFree = memory_free;
        entry_points->DSM_MemLock = memory_lock;
        entry_points->DSM_MemUnlock = memory_unlock;
    }
    trace_call("app->dsm", application, DG_CONTROL, DAT_ENTRYPOINT, message, code);
    return code;
}

TW_UINT16 SourceManager::status(pTW_IDENTITY application, pTW_IDENTITY source, TW_UINT32 group,
                                TW_UINT16 message, TW_MEMREF data) {
    // With an open source as destination the source answers, also while a callback runs.
    if (source && is_application(application) && is_open_source(source)) {
        return call_source("app->ds", group, DAT_STATUS, message, data);
    }
    TW_UINT16 code = TWRC_SUCCESS;
    if (message != MSG_GET || !data) {
        code = fail(TWCC_BADPROTOCOL);
    } else {
        // Reading the condition code clears it.
        auto* answer = static_cast<TW_STATUS*>(data);
        answer->ConditionCode = std::exchange(condition_, TWCC_SUCCESS);
        answer->Reserved = 0;
    }
    trace_call("app->dsm", application, group, DAT_STATUS, message, code);
    return code;
}

TW_UINT16 SourceManager::register_callback(pTW_IDENTITY application, pTW_IDENTITY source,
                                           TW_UINT16 data_type, TW_UINT16 message, TW_MEMREF data) {
    TW_UINT16 code = TWRC_SUCCESS;
    if (message != MSG_REGISTER_CALLBACK) {
        code = fail(TWCC_BADPROTOCOL);
    } else if (!is_application(application) || !is_open_source(source)) {
        code = fail(TWCC_BADPROTOCOL);
    } else if (!data) {
        code = fail(TWCC_BADVALUE);
    } else if (data_type == DAT_CALLBACK) {
        const auto* callback = static_cast<const TW_CALLBACK*>(data);
        open_->callback = reinterpret_cast<TWAINCALLBACKPROC>(callback->CallBackProc);
        open_->reference =
            reinterpret_cast<TW_MEMREF>(static_cast<std::uintptr_t>(callback->RefCon));
        open_->waiting_message = 0;
    } else {
        const auto* callback = static_cast<const TW_CALLBACK2*>(data);
        open_->callback = reinterpret_cast<TWAINCALLBACKPROC>(callback->CallBackProc);
        open_->reference = reinterpret_cast<TW_MEMREF>(callback->RefCon);
        open_->waiting_message = 0;
    }
    trace_call("app->dsm", application, DG_CONTROL, data_type, message, code);
    return code;
}

TW_UINT16 SourceManager::from_source(pTW_IDENTITY source, pTW_IDENTITY application,
                                     TW_UINT16 message) {
    TW_UINT16 code = TWRC_SUCCESS;
    if (!open_ || !is_open_source(source) || !is_application(application)) {
        code = TWRC_FAILURE;
    } else if (!is_transfer_message(message)) {
        code = fail(TWCC_BADPROTOCOL);
    }
    trace_call("ds->dsm", source, DG_CONTROL, DAT_NULL, message, code);
    if (code != TWRC_SUCCESS) return code;

    if (open_->callback) {
        TW_IDENTITY application_copy = *application_;
        TW_IDENTITY source_copy = listed_[open_->index].identity;
        open_->in_callback = true;
        const TW_UINT16 answer = open_->callback(&source_copy, &application_copy, DG_CONTROL,
                                                 DAT_NULL, message, open_->reference);
        open_->in_callback = false;
        trace_call("dsm->app", &source_copy, DG_CONTROL, DAT_NULL, message, answer);
        return answer;
    }
    // No callback: the message waits for the application's next DAT_EVENT/MSG_PROCESSEVENT.
    if (const TW_UINT16 earlier = open_->waiting_message.exchange(message); earlier != 0) {
        trace_.line("  the application never took " +
                    triplet_name({DG_CONTROL, DAT_NULL, earlier}));
    }
    return code;
}

TW_UINT16 SourceManager::forward(pTW_IDENTITY application, pTW_IDENTITY source, TW_UINT32 group,
                                 TW_UINT16 data_type, TW_UINT16 message, TW_MEMREF data) {
    TW_UINT16 code = TWRC_SUCCESS;
    if (!is_application(application) || !open_) {
        code = fail(TWCC_SEQERROR);
    } else if (!is_open_source(source)) {
        code = fail(TWCC_BADPROTOCOL);
    } else if (open_->source_busy || open_->in_callback) {
        // A nested call: the source is still answering, or the application is inside its
        // callback. The source never sees it.
        if (data_type == DAT_EVENT && message == MSG_PROCESSEVENT && data) {
            static_cast<TW_EVENT*>(data)->TWMessage = MSG_NULL;
            code = TWRC_NOTDSEVENT;
        } else {
            code = fail(TWCC_SEQERROR);
        }
        trace_call("app->dsm", application, group, data_type, message, code);
        trace_.line("  refused: nested call");
        return code;
    } else {
        return call_source("app->ds", group, data_type, message, data);
    }
    trace_call("app->dsm", application, group, data_type, message, code);
    return code;
}

TW_UINT16 SourceManager::call_source(const char* who, TW_UINT32 group, TW_UINT16 data_type,
                                     TW_UINT16 message, TW_MEMREF data) {
    // The source gets a copy, so that it cannot change what the Source Manager keeps.
    TW_IDENTITY application_copy = *application_;
    open_->source_busy = true;
    const TW_UINT16 code =
        open_->library.entry()(&application_copy, group, data_type, message, data);
    open_->source_busy = false;
    trace_call(who, &application_copy, group, data_type, message, code, data);
    return code;
}

bool SourceManager::is_application(const TW_IDENTITY* identity) const {
    return identity && application_ && identity->Id == application_->Id;
}

bool SourceManager::is_open_source(const TW_IDENTITY* identity) const {
    return identity && open_ && identity->Id == listed_[open_->index].identity.Id;
}

TW_UINT16 SourceManager::fail(TW_UINT16 condition) {
    condition_ = condition;
    return TWRC_FAILURE;
}

void SourceManager::trace_call(const char* who, const TW_IDENTITY* origin, TW_UINT32 group,
                               TW_UINT16 data_type, TW_UINT16 message, TW_UINT16 code,
                               TW_MEMREF data) {
    if (!trace_.on()) return;
    // Which capability a capability call was about.
    const std::string detail =
        data_type == DAT_CAPABILITY && data
            ? " " + capability_name(static_cast<const TW_CAPABILITY*>(data)->Cap)
            : "";
    trace_.line(std::string(who) + " " + origin_name(origin) + " " +
                triplet_name({group, data_type, message}) + detail + " -> " +
                return_code_name(code));
}

}  // namespace twain_host
