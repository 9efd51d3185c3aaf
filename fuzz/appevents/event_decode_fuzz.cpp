// The receiving side's decoder and the stand-in's readable form, on arbitrary datagrams.
// Whatever decodes must encode back to the same bytes, and its readable form must have one
// line for the heading and one per parameter.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/appevents/wire_form.hpp"
#include "tools/scan_destination_standin/event_text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = std::as_bytes(std::span(data, size));
    auto event = platform::appevents::decode_event(bytes);
    if (!event) return 0;
    const auto encoded = platform::appevents::encode_event(*event);
    if (!std::ranges::equal(encoded, bytes)) std::abort();
    auto text = standin::describe_event(*event, "event");
    if (text) {
        const auto lines = static_cast<std::size_t>(std::ranges::count(*text, '\n'));
        if (lines != 1 + event->parameters().size() || text->back() != '\n') std::abort();
    } else if (text.error().message.find('\n') != std::string::npos) {
        std::abort();
    }
    return 0;
}
