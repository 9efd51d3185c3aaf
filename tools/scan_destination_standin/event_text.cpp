#include "tools/scan_destination_standin/event_text.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/appevents/codes.hpp"
#include "platform/base/text_encoding.hpp"

namespace standin {

namespace {

namespace ae = platform::appevents;
using platform::Error;
using platform::Result;

template <class T>
T host_value(std::span<const std::byte> data) {
    T value{};
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

void append_escaped(std::string& out, unsigned char c, bool keep_non_ascii) {
    switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\n': out += "\\n"; return;
        case '\t': out += "\\t"; return;
        case '\r': out += "\\r"; return;
        default: break;
    }
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && !keep_non_ascii)) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
        return;
    }
    out += static_cast<char>(c);
}

// UTF-8 text stays as it is (the terminal shows it); other bytes above ASCII are escaped.
std::string quoted(std::string_view text, bool utf8) {
    std::string out = "\"";
    for (const char c : text) append_escaped(out, static_cast<unsigned char>(c), utf8);
    return out + "\"";
}

std::string hex_bytes(std::span<const std::byte> data) {
    if (data.empty()) return "(no data)";
    std::string out;
    for (const std::byte b : data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", std::to_integer<unsigned>(b));
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

Error wrong_size(const ae::Descriptor& descriptor) {
    return Error{ae::code_text(descriptor.type()) + " data of " +
                 std::to_string(descriptor.size()) + " bytes"};
}

}  // namespace

Result<std::string> describe_value(const ae::Descriptor& descriptor) {
    const auto data = descriptor.data();
    const auto size = data.size();
    switch (descriptor.type()) {
        case ae::type_null:
            if (size != 0) return wrong_size(descriptor);
            return std::string();
        case ae::type_sint32:
            if (size != 4) return wrong_size(descriptor);
            return std::to_string(host_value<std::int32_t>(data));
        case ae::type_sint16:
            if (size != 2) return wrong_size(descriptor);
            return std::to_string(host_value<std::int16_t>(data));
        case ae::type_boolean:
            if (size != 1) return wrong_size(descriptor);
            return hex_bytes(data);
        case ae::type_true:
        case ae::type_false: return hex_bytes(data);
        case ae::type_appl_signature:
        case ae::type_type:
        case ae::type_enumerated:
            if (size != 4) return wrong_size(descriptor);
            return ae::code_text(host_value<platform::FourCharCode>(data));
        case ae::type_char:
            return quoted(std::string_view(reinterpret_cast<const char*>(data.data()), size),
                          false);
        case ae::type_unicode_text: {
            if (size % 2 != 0) return wrong_size(descriptor);
            std::u16string units(size / 2, u'\0');
            if (size != 0) std::memcpy(units.data(), data.data(), size);
            return quoted(platform::utf16_to_utf8(units), true);
        }
        default:
            return Error{"unknown descriptor type " + ae::code_text(descriptor.type()) + " (" +
                         std::to_string(size) + " bytes)"};
    }
}

Result<std::string> describe_event(const ae::Event& event, std::string_view heading) {
    const std::string name = std::string(heading) + " " + ae::code_text(event.event_class()) + " " +
                             ae::code_text(event.event_id());
    auto line = [](const ae::Descriptor& descriptor, const std::string& value) {
        std::string text = ae::code_text(descriptor.type());
        if (!value.empty()) text += " " + value;
        return text;
    };
    auto target = describe_value(event.target());
    if (!target) return Error{name + ": the target has " + target.error().message};
    std::string out = name + " (return ID " + std::to_string(event.return_id()) +
                      ", transaction ID " + std::to_string(event.transaction_id()) + ") to " +
                      line(event.target(), *target) + "\n";
    for (const auto& parameter : event.parameters()) {
        auto value = describe_value(parameter.descriptor);
        if (!value) {
            return Error{name + ": parameter " + ae::code_text(parameter.keyword) + " has " +
                         value.error().message};
        }
        out += "  " + ae::code_text(parameter.keyword) + " " + line(parameter.descriptor, *value) +
               "\n";
    }
    return out;
}

}  // namespace standin
