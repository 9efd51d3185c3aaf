#include "platform/systemd/app_scope.hpp"

#include <algorithm>
#include <cstdio>

namespace platform::systemd {

namespace {

// systemd's limit on unit names, terminator excluded.
constexpr std::size_t kUnitNameMax = 255;

bool plain_unit_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
           c == '_' || c == '.';
}

std::string_view name_of(std::string_view entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::string escape_unit_name_part(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (plain_unit_char(c) && !(i == 0 && c == '.')) {
            escaped += c;
        } else {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(c));
            escaped += code;
        }
    }
    return escaped;
}

std::string app_scope_name(std::string_view launcher, std::string_view application_id, pid_t pid) {
    const std::string prefix = "app-" + escape_unit_name_part(launcher) + "-";
    const std::string suffix = "-" + std::to_string(pid) + ".scope";
    std::string id = escape_unit_name_part(application_id);
    const std::size_t room = kUnitNameMax > prefix.size() + suffix.size()
                                 ? kUnitNameMax - prefix.size() - suffix.size()
                                 : 0;
    if (id.size() > room) {
        // Cut before an escape that would not fit whole: "\x2" would read as something else.
        std::size_t cut = room;
        const std::size_t escape = id.rfind('\\', cut);
        if (escape != std::string::npos && escape + 4 > cut) cut = escape;
        id.resize(cut);
    }
    return prefix + id + suffix;
}

const std::vector<std::string>& display_variables() {
    static const std::vector<std::string> names{
        "DISPLAY",          "WAYLAND_DISPLAY",     "XAUTHORITY",
        "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP",
        "DESKTOP_SESSION",
    };
    return names;
}

std::vector<std::string> with_display_of(const std::vector<std::string>& own,
                                         const std::vector<std::string>& manager) {
    const auto& names = display_variables();
    std::vector<std::string> from_manager;
    for (const auto& entry : manager) {
        if (std::find(names.begin(), names.end(), name_of(entry)) != names.end()) {
            from_manager.push_back(entry);
        }
    }
    const auto set_by_manager = [&](std::string_view entry) {
        return std::any_of(from_manager.begin(), from_manager.end(), [&](const std::string& other) {
            return name_of(other) == name_of(entry);
        });
    };
    std::vector<std::string> result;
    result.reserve(own.size() + from_manager.size());
    std::copy_if(own.begin(), own.end(), std::back_inserter(result),
                 [&](const std::string& entry) { return !set_by_manager(entry); });
    result.insert(result.end(), from_manager.begin(), from_manager.end());
    return result;
}

}  // namespace platform::systemd
