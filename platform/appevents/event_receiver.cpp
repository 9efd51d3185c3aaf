#include "platform/appevents/event_receiver.hpp"

#include <string>
#include <utility>

#include "platform/appevents/signature_socket.hpp"
#include "platform/appevents/wire_form.hpp"

namespace platform::appevents {

Result<EventReceiver> EventReceiver::claim(FourCharCode signature) {
    auto claimed =
        msgport::NamedSocket::claim(event_socket_folder, signature_socket_name(signature));
    if (!claimed) return claimed.error();
    return EventReceiver(signature, std::move(claimed).value());
}

EventReceiver::EventReceiver(FourCharCode signature, msgport::NamedSocket socket)
    : signature_(signature), socket_(std::move(socket)), buffer_(max_event_size) {}

Result<std::optional<Event>> EventReceiver::receive() {
    auto received = socket_.receive(buffer_);
    if (!received) return received.error();
    if (!*received) return std::optional<Event>();
    const auto datagram = **received;
    if (datagram.truncated) {
        return Error{"a datagram of " + std::to_string(datagram.size) +
                     " bytes is larger than an event can be (" + std::to_string(max_event_size) +
                     ")"};
    }
    auto event = decode_event(std::span(buffer_).first(datagram.size));
    if (!event) return event.error();
    return std::optional<Event>(std::move(event.value()));
}

}  // namespace platform::appevents
