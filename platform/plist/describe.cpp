#include "platform/plist/describe.hpp"

#include <cstdio>

#include "platform/plist/file_url.hpp"

namespace platform::plist {

namespace {

void quote(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

void append(std::string& out, const Value& value) {
    if (!value) {
        out += "null";
        return;
    }
    switch (value.type()) {
        case Type::String: quote(out, *value.as_string()); break;
        case Type::Integer: out += std::to_string(*value.as_integer()); break;
        case Type::Real: {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", *value.as_real());
            out += text;
            break;
        }
        case Type::Boolean: out += *value.as_boolean() ? "true" : "false"; break;
        case Type::Data: {
            out += '<';
            bool first = true;
            for (const auto byte : *value.as_data()) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02x", byte);
                if (!first) out += ' ';
                out += hex;
                first = false;
            }
            out += '>';
            break;
        }
        case Type::Date: {
            char text[48];
            std::snprintf(text, sizeof text, "date(%.6f)", value.as_date()->seconds_since_2001);
            out += text;
            break;
        }
        case Type::Array: {
            out += '[';
            bool first = true;
            for (const auto& item : value.items()) {
                if (!first) out += ", ";
                append(out, item);
                first = false;
            }
            out += ']';
            break;
        }
        case Type::Dictionary: {
            out += '{';
            for (const auto& [key, item] : value.entries()) {
                quote(out, key);
                out += " = ";
                append(out, item);
                out += "; ";
            }
            out += '}';
            break;
        }
        case Type::FileUrl: out += file_url_string(*value.as_file_url()); break;
    }
}

}  // namespace

std::string describe(const Value& value) {
    std::string out;
    append(out, value);
    return out;
}

void PrintTo(const Value& value, std::ostream* out) { *out << describe(value); }

std::ostream& operator<<(std::ostream& out, const Value& value) { return out << describe(value); }

}  // namespace platform::plist
