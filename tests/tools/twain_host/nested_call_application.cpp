// An application that breaks the rules on purpose, for the tests: from inside its callback it
// calls the data source (DAT_PENDINGXFERS/MSG_GET, DAT_EVENT/MSG_PROCESSEVENT) through
// twain-host's Source Manager, which must refuse both before they reach the source; once the
// callback has returned, the same call goes through. Prints what each call answered:
//
//   nested DG_CONTROL/DAT_PENDINGXFERS/MSG_GET -> TWRC_FAILURE (1), TWCC_SEQERROR (11)
//   nested DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT -> TWRC_NOTDSEVENT (5), message 0x0
//   after DG_CONTROL/DAT_PENDINGXFERS/MSG_GET -> TWRC_SUCCESS (0), count 1
//
//   nested_call_application DATA_SOURCE.ds

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/application_link.hpp"
#include "tools/twain_host/source_manager.hpp"
#include "tools/twain_host/triplet_names.hpp"

namespace {

using namespace twain;
using twain_host::condition_code_name;
using twain_host::return_code_name;

std::vector<std::string> nested_answers;
std::atomic<TW_UINT16> callback_message{0};  // set last: the answers are complete then

TW_UINT16 rude_callback(pTW_IDENTITY source, pTW_IDENTITY application, TW_UINT32, TW_UINT16,
                        TW_UINT16 message, TW_MEMREF) {
    TW_PENDINGXFERS pending{};
    const TW_UINT16 code = twain_host::SourceManager::entry(application, source, DG_CONTROL,
                                                            DAT_PENDINGXFERS, MSG_GET, &pending);
    TW_STATUS status{};
    twain_host::SourceManager::entry(application, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET,
                                     &status);
    nested_answers.push_back("nested DG_CONTROL/DAT_PENDINGXFERS/MSG_GET -> " +
                             return_code_name(code) + ", " +
                             condition_code_name(status.ConditionCode));
    TW_EVENT event{};
    event.TWMessage = 0xFFFF;
    const TW_UINT16 polled = twain_host::SourceManager::entry(application, source, DG_CONTROL,
                                                              DAT_EVENT, MSG_PROCESSEVENT, &event);
    char shown[16];
    std::snprintf(shown, sizeof shown, "0x%x", event.TWMessage);
    nested_answers.push_back("nested DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT -> " +
                             return_code_name(polled) + ", message " + shown);
    callback_message = message;
    return TWRC_SUCCESS;
}

int fail(const char* step, TW_UINT16 code) {
    std::cerr << "nested_call_application: " << step << " -> " << return_code_name(code) << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    twain_host::Trace trace;
    twain_host::SourceManager manager({argv[1]}, trace);
    twain_host::ApplicationLink link;
    TW_MEMREF parent = nullptr;
    TW_UINT16 code = link.to_manager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent);
    if (code != TWRC_SUCCESS) return fail("MSG_OPENDSM", code);
    code = link.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &link.source());
    if (code != TWRC_SUCCESS) return fail("MSG_OPENDS", code);
    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&rude_callback);
    code = link.to_source(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
    if (code != TWRC_SUCCESS) return fail("MSG_REGISTER_CALLBACK", code);
    TW_USERINTERFACE user_interface{};
    code = link.to_source(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &user_interface);
    if (code != TWRC_SUCCESS && code != TWRC_CHECKSTATUS) return fail("MSG_ENABLEDS", code);

    // The source may call back during MSG_ENABLEDS or later from a thread of its own.
    for (int waited = 0; callback_message == 0 && waited < 120000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (callback_message != MSG_XFERREADY)
        return fail("waiting for MSG_XFERREADY", callback_message);
    for (const auto& answer : nested_answers) std::cout << answer << '\n';

    TW_PENDINGXFERS pending{};
    code = link.to_source(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
    std::cout << "after DG_CONTROL/DAT_PENDINGXFERS/MSG_GET -> " << return_code_name(code)
              << ", count " << static_cast<TW_INT16>(pending.Count) << '\n';
    link.to_source(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    link.to_source(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &user_interface);
    link.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &link.source());
    link.to_manager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
    return 0;
}
