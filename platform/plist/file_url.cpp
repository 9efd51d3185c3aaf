#include "platform/plist/file_url.hpp"

namespace platform::plist {

namespace {

bool keeps_unescaped(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        // The characters kept, packed.
        // clang-format off
        case '-': case '.': case '_': case '~': case '/': case '!': case '$': case '&':
        case '\'': case '(': case ')': case '*': case '+': case ',': case ';': case '=':
        case ':': case '@':
            // clang-format on
            return true;
        default: return false;
    }
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string file_url_string(const std::filesystem::path& absolute_path) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char raw : absolute_path.string()) {
        const auto c = static_cast<unsigned char>(raw);
        if (keeps_unescaped(c)) {
            url += raw;
        } else {
            url += '%';
            url += digits[c >> 4];
            url += digits[c & 0x0F];
        }
    }
    return url;
}

std::optional<std::filesystem::path> path_from_file_url_string(std::string_view url) {
    constexpr std::string_view scheme = "file://";
    if (url.size() < scheme.size()) return std::nullopt;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const char c = url[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != scheme[i]) return std::nullopt;
    }
    url.remove_prefix(scheme.size());
    if (url.starts_with("localhost/")) url.remove_prefix(9);
    if (!url.starts_with('/')) return std::nullopt;
    std::string decoded;
    decoded.reserve(url.size());
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '?' || url[i] == '#') break;
        if (url[i] != '%') {
            decoded += url[i];
            continue;
        }
        if (i + 2 >= url.size()) return std::nullopt;
        const int high = hex_value(url[i + 1]);
        const int low = hex_value(url[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return std::filesystem::path(decoded);
}

}  // namespace platform::plist
