#include "platform/appevents/send_event.hpp"

#include <cstring>
#include <string>

#include "platform/appevents/signature_socket.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/base/os_status.hpp"
#include "platform/msgport/named_socket.hpp"

namespace platform::appevents {

Result<void> send_event(const Event& event) {
    const Descriptor& target = event.target();
    FourCharCode signature = 0;
    if (target.type() != type_appl_signature || target.size() != sizeof signature) {
        return Error{"the target " + code_text(target.type()) + " names no application",
                     os_status::procNotFound};
    }
    std::memcpy(&signature, target.data().data(), sizeof signature);
    return send_event_to(signature, event);
}

Result<void> send_event_to(FourCharCode signature, const Event& event) {
    const auto bytes = encode_event(event);
    if (bytes.size() > max_event_size) {
        return Error{"an event of " + std::to_string(bytes.size()) + " bytes is larger than " +
                     std::to_string(max_event_size)};
    }
    const std::string name = signature_socket_name(signature);
    auto sent = msgport::send_to_name(event_socket_folder, name, bytes, event_send_wait_limit);
    if (!sent && !msgport::named_socket_path(event_socket_folder, name)) {
        // No socket can have this name, so no application can serve it.
        return Error{"nobody can serve the signature " + code_text(signature),
                     os_status::procNotFound};
    }
    return sent;
}

}  // namespace platform::appevents
