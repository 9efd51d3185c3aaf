#pragma once
// Where the application with a creator signature takes its events: the named socket whose name
// is the signature's four characters, in the runtime sub-folder "appevents".

#include <string>
#include <string_view>

#include "platform/base/four_char_code.hpp"

namespace platform::appevents {

inline constexpr std::string_view event_socket_folder = "appevents";

inline std::string signature_socket_name(FourCharCode signature) {
    return four_char_string(signature);
}

}  // namespace platform::appevents
