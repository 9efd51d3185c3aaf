#include "monitor/launch/scan_launch_request.hpp"

#include <optional>
#include <span>
#include <utility>

#include "monitor/launch/launch_parameter_block.hpp"
#include "platform/appevents/application_launch.hpp"
#include "platform/appevents/codes.hpp"
#include "platform/appevents/descriptor.hpp"
#include "platform/appevents/event.hpp"
#include "platform/appevents/send_event.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/base/os_status.hpp"
#include "platform/base/text_encoding.hpp"
#include "platform/folders/folders.hpp"

namespace monitor {

namespace {

using platform::FourCharCode;
using platform::four_char_code;
using platform::appevents::Descriptor;
using platform::appevents::host_bytes;

constexpr FourCharCode kScanHubCreator = four_char_code("QH06");
constexpr FourCharCode kScanRequestClass = four_char_code("BMon");
constexpr FourCharCode kResolutionKeyword = four_char_code("rsln");
constexpr FourCharCode kNetworkFlagKeyword = four_char_code("NtSc");
constexpr FourCharCode kRemoteAddressKeyword = four_char_code("rmip");
constexpr const char* kInstallLocation = "/Library/Printers/Velmora/2006/Velmora Scan Hub.app";

FourCharCode EventIdForScanType(std::int32_t scanType) {
    switch (scanType) {
        case 1:
        case 3:
            return four_char_code("x771");
        case 2:
            return four_char_code("x772");
        default:
            return 0;
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
    if (auto target = Descriptor::create(platform::appevents::type_appl_signature, host_bytes(creator))) {
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
    if (!address) return address.error().status;
    if (!event) return eventError;
    event->put_parameter(kRemoteAddressKeyword, std::move(address.value()));

    if (platform::appevents::send_event(*event)) return platform::os_status::noErr;

    platform::folders::FileRef application;
    if (const std::int32_t located = LocateApplication(application); located != platform::os_status::noErr) {
        return located;
    }
    auto parameters = platform::appevents::to_launch_parameters(*event);
    if (!parameters) return parameters.error().status;
    auto block = LaunchParameterBlock::Allocate(parameters->size());
    if (!block) return platform::os_status::memFullErr;
    parameters->copy_data(block->Bytes());
    auto launched = platform::appevents::launch_application(application.path, block->Bytes());
    return launched ? platform::os_status::noErr : launched.error().status;
}

std::int32_t ScanLaunchRequest::LocateApplication(platform::folders::FileRef& fileSpec) {
    auto found = platform::folders::make_file_ref(platform::folders::system_path(kInstallLocation));
    if (!found) return platform::os_status::coreFoundationUnknownErr;
    fileSpec = std::move(found.value());
    return platform::os_status::noErr;
}

}  // namespace monitor
