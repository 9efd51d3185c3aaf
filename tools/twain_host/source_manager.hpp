#pragma once
// The Linux TWAIN Data Source Manager, played for one application: the one DSM_Entry through
// which the application reaches data sources and data sources reach the application.
//
// It repeats the real Source Manager's sequence:
//  - DG_CONTROL/DAT_PARENT/MSG_OPENDSM gives the application its Id (and DF_DSM2 when it says
//    DF_APP2), then lists the data sources: each file is loaded, asked DAT_IDENTITY/MSG_GET with
//    a null origin, and unloaded again (Source Managers since 2.4.2 ask this one with the
//    application's identity; the host asks both ways, so a source must answer either);
//  - MSG_OPENDS loads the chosen file anew and asks its identity again (this time with the
//    application's identity as origin), unloads it and loads it once more for good, hands it
//    DAT_ENTRYPOINT/MSG_SET only when its listed identity carried DF_DS2, and sends MSG_OPENDS;
//    when that fails it asks the source's DAT_STATUS, keeps that condition code for the
//    application and unloads the file;
//  - a callback registered with DAT_CALLBACK/MSG_REGISTER_CALLBACK receives the source's
//    DAT_NULL messages; without one the message waits for the next DAT_EVENT/MSG_PROCESSEVENT;
//  - while the source is still answering a call, or the application's callback runs, a call to
//    the source is refused: TWRC_FAILURE with TWCC_SEQERROR, or TWRC_NOTDSEVENT with MSG_NULL
//    for DAT_EVENT/MSG_PROCESSEVENT; DAT_STATUS still reaches the source. (The Source Manager
//    means to refuse these for applications of protocol 2.2 and later, but compares the
//    protocol as major * 10 + minor against 201, so that no 2.x application is ever refused;
//    the host refuses them for every application.)
//  - memory goes through the ledger's functions (memory_ledger.hpp).
//
// One instance at a time: entry() routes every call to the live instance.

#include <atomic>
#include <filesystem>
#include <optional>
#include <vector>

#include "sane_backend/protocol/twain_records.hpp"
#include "tools/twain_host/data_source_library.hpp"
#include "tools/twain_host/trace.hpp"

namespace twain_host {

class SourceManager {
public:
    // The data source files MSG_OPENDSM lists, in this order.
    SourceManager(std::vector<std::filesystem::path> files, Trace& trace);
    SourceManager(const SourceManager&) = delete;
    SourceManager& operator=(const SourceManager&) = delete;
    ~SourceManager();

    // DSM_Entry, for applications and (through DAT_ENTRYPOINT) data sources.
    static twain::TW_UINT16 entry(twain::pTW_IDENTITY origin, twain::pTW_IDENTITY destination,
                                  twain::TW_UINT32 group, twain::TW_UINT16 data_type,
                                  twain::TW_UINT16 message, twain::TW_MEMREF data);

private:
    struct Listed {
        std::filesystem::path file;
        twain::TW_IDENTITY identity{};
    };
    struct OpenSource {
        OpenSource(std::size_t listed_index, DataSourceLibrary loaded)
            : index(listed_index), library(std::move(loaded)) {}
        std::size_t index = 0;  // into listed_
        DataSourceLibrary library;
        twain::TWAINCALLBACKPROC callback = nullptr;
        twain::TW_MEMREF reference = nullptr;
        std::atomic<twain::TW_UINT16> waiting_message{0};  // for the next MSG_PROCESSEVENT
        std::atomic<bool> source_busy{false};
        std::atomic<bool> in_callback{false};
    };

    twain::TW_UINT16 dispatch(twain::pTW_IDENTITY origin, twain::pTW_IDENTITY destination,
                              twain::TW_UINT32 group, twain::TW_UINT16 data_type,
                              twain::TW_UINT16 message, twain::TW_MEMREF data);
    twain::TW_UINT16 parent(twain::pTW_IDENTITY application, twain::TW_UINT16 message);
    twain::TW_UINT16 identity(twain::pTW_IDENTITY application, twain::TW_UINT16 message,
                              twain::pTW_IDENTITY source);
    twain::TW_UINT16 entry_point(twain::pTW_IDENTITY application, twain::TW_UINT16 message,
                                 twain::TW_MEMREF data);
    twain::TW_UINT16 status(twain::pTW_IDENTITY application, twain::pTW_IDENTITY source,
                            twain::TW_UINT32 group, twain::TW_UINT16 message,
                            twain::TW_MEMREF data);
    twain::TW_UINT16 register_callback(twain::pTW_IDENTITY application, twain::pTW_IDENTITY source,
                                       twain::TW_UINT16 data_type, twain::TW_UINT16 message,
                                       twain::TW_MEMREF data);
    twain::TW_UINT16 from_source(twain::pTW_IDENTITY source, twain::pTW_IDENTITY application,
                                 twain::TW_UINT16 message);
    twain::TW_UINT16 forward(twain::pTW_IDENTITY application, twain::pTW_IDENTITY source,
                             twain::TW_UINT32 group, twain::TW_UINT16 data_type,
                             twain::TW_UINT16 message, twain::TW_MEMREF data);

    void list_sources();
    twain::TW_UINT16 open_source(twain::pTW_IDENTITY source);
    twain::TW_UINT16 close_source(twain::pTW_IDENTITY source);
    // The DS_Entry call, traced; origin is a copy of the application's identity.
    twain::TW_UINT16 call_source(const char* who, twain::TW_UINT32 group,
                                 twain::TW_UINT16 data_type, twain::TW_UINT16 message,
                                 twain::TW_MEMREF data);
    bool is_application(const twain::TW_IDENTITY* identity) const;
    bool is_open_source(const twain::TW_IDENTITY* identity) const;
    twain::TW_UINT16 fail(twain::TW_UINT16 condition);
    void trace_call(const char* who, const twain::TW_IDENTITY* origin, twain::TW_UINT32 group,
                    twain::TW_UINT16 data_type, twain::TW_UINT16 message, twain::TW_UINT16 code,
                    twain::TW_MEMREF data = nullptr);

    std::vector<std::filesystem::path> files_;
    Trace& trace_;
    std::optional<twain::TW_IDENTITY> application_;
    twain::TW_UINT16 condition_ = 0;  // the Source Manager's own condition code
    std::vector<Listed> listed_;
    std::size_t next_listed_ = 0;  // for MSG_GETNEXT
    std::optional<OpenSource> open_;
};

}  // namespace twain_host
