#pragma once
// The application side: the event socket of a signature, claimed by one application at a time,
// and the events that arrive on it, decoded. Claim it before reading launch parameters, so
// that an event sent while the application starts waits on the socket.

#include <cstddef>
#include <optional>
#include <vector>

#include "platform/appevents/event.hpp"
#include "platform/base/four_char_code.hpp"
#include "platform/base/result.hpp"
#include "platform/msgport/named_socket.hpp"

namespace platform::appevents {

class EventReceiver {
public:
    // Status -904 (portNameExistsErr) when another application serves the signature already.
    static Result<EventReceiver> claim(FourCharCode signature);

    FourCharCode signature() const noexcept { return signature_; }
    // Non-blocking; readable (EPOLLIN) when events wait.
    int fd() const noexcept { return socket_.fd(); }

    // The next event waiting; empty when none is. A datagram that is no event (larger than
    // max_event_size, or malformed) is consumed and reported as an error, so the next call goes
    // on with the datagram after it.
    Result<std::optional<Event>> receive();

private:
    EventReceiver(FourCharCode signature, msgport::NamedSocket socket);

    FourCharCode signature_;
    msgport::NamedSocket socket_;
    std::vector<std::byte> buffer_;
};

}  // namespace platform::appevents
