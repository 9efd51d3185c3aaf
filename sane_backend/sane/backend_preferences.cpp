#include "sane_backend/sane/backend_preferences.hpp"

#include <cstdlib>

#include "platform/plist/document.hpp"

namespace sane_backend {

std::filesystem::path preferences_file() {
    std::filesystem::path root;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        root = config;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        root = std::filesystem::path(home) / ".config";
    } else {
        return {};
    }
    return root / "Preferences" / (std::string(kPreferencesDomain) + ".plist");
}

std::string preferred_device(const std::filesystem::path& file) {
    if (file.empty()) return {};
    const auto document = platform::plist::read_file(file);
    if (!document) return {};
    const auto* name = document->get(kDeviceKey).as_string();
    return name ? *name : std::string();
}

}  // namespace sane_backend
