#pragma once
// The scan request sent to the scan-destination application "Scan Hub" (creator 'QH06'): one
// application event of class 'BMon', or, when it cannot be delivered, a launch of the
// application from its install location with that event as its launch parameters.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/folders/file_ref.hpp"

namespace monitor {

class ScanLaunchRequest {
public:
    // The remote address is UTF-8 text, or nullopt for no address; the request keeps its own
    // copy. A direct value or resolution of -1 means absent. The network flag is sent as it is,
    // one byte.
    ScanLaunchRequest(std::int32_t scanType, std::int32_t directValue, std::int32_t resolution,
                      std::uint8_t networkFlag, std::optional<std::string> remoteAddress);

    // 0 when the event was sent, or when sending failed and the launch succeeded; otherwise
    // the error of the step that failed (-4960 when nothing is at the install location, -108
    // when the launch parameters cannot be allocated, -43 when the application has no
    // executable).
    std::int32_t Send();
    // Fills the reference of the install location; -4960 when nothing is there.
    std::int32_t LocateApplication(platform::folders::FileRef& fileSpec);

private:
    std::int32_t scanType;
    std::int32_t directValue;
    std::int32_t resolution;
    std::uint8_t networkFlag;
    std::optional<std::string> remoteAddress;
};

}  // namespace monitor
