#include "monitor/launch/scan_launch_request.hpp"

#include <optional>
#include <span>
#include <string>
#include <utility>

#include "monitor/core/monitor_report.hpp"
#include "monitor/launch/launch_parameter_block.hpp"
#include "platform/appevents/codes.hpp"
#include "platform/appevents/descriptor.hpp"
#include "platform/appevents/event.hpp"
#include "platform/appevents/scoped_launch.hpp"
#include "platform/appevents/send_event.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/base/os_status.hpp"
#include "platform/base/text_encoding.hpp"
#include "platform/diagnostics/reporting.hpp"
#include "platform/folders/folders.hpp"

namespace monitor {

namespace {

using platform::four_char_code;
using platform::FourCharCode;
using platform::appevents::Descriptor;
using platform::appevents::host_bytes;

constexpr FourCharCode kScanHubCreator = four_char_code("QH06");
constexpr FourCharCode kScanRequestClass = four_char_code("BMon");
constexpr FourCharCode kResolutionKeyword = four_char_code("rsln");
constexpr FourCharCode kNetworkFlagKeyword = four_char_code("NtSc");
constexpr FourCharCode kRemoteAddressKeyword = four_char_code("rmip");
constexpr const char* kInstallLocation = "/Library/Printers/Velmora/2006/Velmora Scan Hub.app";

namespace diagnostics = platform::diagnostics;

// Conditions of the road to Scan Hub. Each is reported when it begins and when it ends, so a
// flood of scan requests that all meet the same obstacle makes one entry.
constexpr std::string_view kEventNotMade = "SCAN_REQUEST_NOT_MADE";
constexpr std::string_view kEventFailed = "SCAN_HUB_EVENT_FAILED";
constexpr std::string_view kMissing = "SCAN_HUB_MISSING";
constexpr std::string_view kLaunchFailed = "SCAN_HUB_LAUNCH_FAILED";
constexpr std::string_view kNotRunning = "SCAN_HUB_NOT_RUNNING";
constexpr std::string_view kNoScope = "SCAN_HUB_SCOPE_FAILED";
// The name launched applications' scopes carry: app-buttonmonitor-<id>-<pid>.scope.
constexpr std::string_view kLauncher = "buttonmonitor";

std::string StatusText(std::int32_t status) { return std::to_string(status); }

diagnostics::Entry HubEntry(diagnostics::Priority priority, std::string message,
                            std::optional<std::int32_t> status, std::string_view reason = {}) {
    diagnostics::Entry entry{
        priority,
        std::move(message),
        {{report::kApplication, platform::folders::system_path(kInstallLocation).string()}}};
    if (status) entry.fields.push_back({report::kOsStatus, StatusText(*status)});
    if (!reason.empty()) entry.fields.push_back({report::kReason, std::string(reason)});
    return entry;
}

template <class Make>
void Begin(std::string_view condition, Make&& make) {
    diagnostics::begin_condition(condition, "", std::forward<Make>(make));
}

void End(std::string_view condition, const char* message) {
    diagnostics::end_condition(condition, "", [&] {
        return HubEntry(diagnostics::Priority::Notice, message, std::nullopt);
    });
}

// The event reached the running application: whatever stood in the way before is gone.
void ReportDelivered() {
    End(kEventNotMade, "scan request events are made again");
    End(kEventFailed, "Scan Hub takes scan request events again");
    End(kMissing, "Scan Hub takes scan requests again");
    End(kLaunchFailed, "Scan Hub takes scan requests again");
    End(kNotRunning, "Scan Hub is running and takes scan request events");
}

void ReportNotDelivered(const platform::Error& error) {
    // Nobody serving the signature is the usual way of learning that Scan Hub is not running.
    if (error.status == platform::os_status::procNotFound) return;
    Begin(kEventFailed, [&] {
        return HubEntry(diagnostics::Priority::Warning,
                        "the scan request event did not reach Scan Hub (OS status " +
                            StatusText(error.status) + ": " + error.message +
                            "); launching it with the request instead",
                        error.status, error.message);
    });
}

void ReportLaunchFailed(std::int32_t status, std::string_view reason) {
    Begin(kLaunchFailed, [&] {
        return HubEntry(diagnostics::Priority::Error,
                        "cannot launch Scan Hub for a scan request (OS status " +
                            StatusText(status) +
                            (reason.empty() ? std::string() : ": " + std::string(reason)) +
                            "); the scan does not start",
                        status, reason);
    });
}

void ReportLaunched(const platform::appevents::ScopedLaunch& launch) {
    End(kMissing, "Scan Hub is installed again");
    End(kLaunchFailed, "Scan Hub launches again");
    Begin(kNotRunning, [&] {
        auto entry = HubEntry(diagnostics::Priority::Info,
                              "Scan Hub was not running: launched it with the scan request (pid " +
                                  std::to_string(launch.pid) +
                                  (launch.scope ? ", scope " + *launch.scope : std::string()) + ")",
                              std::nullopt);
        entry.fields.push_back({report::kPid, std::to_string(launch.pid)});
        if (launch.scope) entry.fields.push_back({report::kScope, *launch.scope});
        return entry;
    });
    if (launch.scope) {
        diagnostics::end_condition(kNoScope, "", [&] {
            return HubEntry(diagnostics::Priority::Notice,
                            "launched applications get a scope of their own again", std::nullopt);
        });
    } else {
        Begin(kNoScope, [&] {
            const std::string reason = launch.scope_failure.value_or("");
            return HubEntry(diagnostics::Priority::Notice,
                            "Scan Hub runs in button-monitor's own group, without a scope of its "
                            "own (" +
                                reason + "); restarting button-monitor ends it",
                            std::nullopt, reason);
        });
    }
}

FourCharCode EventIdForScanType(std::int32_t scanType) {
    switch (scanType) {
        case 1:
        case 3: return four_char_code("x771");
        case 2: return four_char_code("x772");
        default: return 0;
    }
}

}  // namespace

ScanLaunchRequest::ScanLaunchRequest(std::int32_t inScanType, std::int32_t inDirectValue,
                                     std::int32_t inResolution, std::uint8_t inNetworkFlag,
                                     std::optional<std::string> inRemoteAddress)
    : scanType(inScanType),
      directValue(inDirectValue),
      resolution(inResolution),
      networkFlag(inNetworkFlag),
      remoteAddress(std::move(inRemoteAddress)) {}

std::int32_t ScanLaunchRequest::Send() {
    // The event exists only when its target could be made; otherwise adding the address below
    // fails with the target's error, as adding to an event that was never made does.
    std::optional<platform::appevents::Event> event;
    std::int32_t eventError = platform::os_status::noErr;
    const FourCharCode creator = kScanHubCreator;
    if (auto target =
            Descriptor::create(platform::appevents::type_appl_signature, host_bytes(creator))) {
        event.emplace(kScanRequestClass, EventIdForScanType(scanType), std::move(target.value()),
                      platform::appevents::auto_generate_return_id,
                      platform::appevents::any_transaction_id);
    } else {
        eventError = target.error().status;
    }

    // A parameter that cannot be made is left out; the request goes on without it.
    auto putIfMade = [&event](FourCharCode keyword, platform::Result<Descriptor> descriptor) {
        if (event && descriptor) event->put_parameter(keyword, std::move(descriptor.value()));
    };
    if (directValue != -1) {
        putIfMade(platform::appevents::key_direct_object,
                  Descriptor::create(platform::appevents::type_sint32, host_bytes(directValue)));
    }
    if (resolution != -1) {
        putIfMade(kResolutionKeyword,
                  Descriptor::create(platform::appevents::type_sint32, host_bytes(resolution)));
    }
    putIfMade(kNetworkFlagKeyword,
              Descriptor::create(networkFlag != 0 ? platform::appevents::type_true
                                                  : platform::appevents::type_false,
                                 host_bytes(networkFlag)));

    // UTF-16 code units in host byte order, no byte-order mark and no terminator.
    const std::u16string units = platform::utf8_to_utf16(remoteAddress.value_or(std::string()));
    auto address = Descriptor::create(platform::appevents::type_unicode_text,
                                      std::as_bytes(std::span(units.data(), units.size())));
    const std::int32_t madeStatus = !address ? address.error().status : !event ? eventError : 0;
    if (madeStatus != platform::os_status::noErr) {
        Begin(kEventNotMade, [&] {
            return HubEntry(diagnostics::Priority::Error,
                            "cannot make the scan request event (OS status " +
                                StatusText(madeStatus) + "); the scan does not start",
                            madeStatus);
        });
        return madeStatus;
    }
    event->put_parameter(kRemoteAddressKeyword, std::move(address.value()));

    auto sent = platform::appevents::send_event(*event);
    if (sent) {
        ReportDelivered();
        return platform::os_status::noErr;
    }
    ReportNotDelivered(sent.error());

    platform::folders::FileRef application;
    if (const std::int32_t located = LocateApplication(application);
        located != platform::os_status::noErr) {
        Begin(kMissing, [&] {
            return HubEntry(diagnostics::Priority::Error,
                            "Scan Hub is not installed at " +
                                platform::folders::system_path(kInstallLocation).string() +
                                ": scan requests are dropped (OS status " + StatusText(located) +
                                ")",
                            located);
        });
        return located;
    }
    auto parameters = platform::appevents::to_launch_parameters(*event);
    if (!parameters) {
        ReportLaunchFailed(parameters.error().status, parameters.error().message);
        return parameters.error().status;
    }
    auto block = LaunchParameterBlock::Allocate(parameters->size());
    if (!block) {
        ReportLaunchFailed(platform::os_status::memFullErr, "no memory for the launch parameters");
        return platform::os_status::memFullErr;
    }
    parameters->copy_data(block->Bytes());
    auto launched = platform::appevents::launch_application_in_scope(application.path,
                                                                     block->Bytes(), kLauncher);
    if (!launched) {
        ReportLaunchFailed(launched.error().status, launched.error().message);
        return launched.error().status;
    }
    ReportLaunched(*launched);
    return platform::os_status::noErr;
}

std::int32_t ScanLaunchRequest::LocateApplication(platform::folders::FileRef& fileSpec) {
    auto found = platform::folders::make_file_ref(platform::folders::system_path(kInstallLocation));
    if (!found) return platform::os_status::coreFoundationUnknownErr;
    fileSpec = std::move(found.value());
    return platform::os_status::noErr;
}

}  // namespace monitor
