#include "platform/prefs/location.hpp"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/base/regular_file.hpp"
#include "platform/folders/folders.hpp"

namespace platform::prefs {

namespace {

bool valid_component(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::optional<std::filesystem::path> home_folder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return std::filesystem::path(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return std::filesystem::path(found->pw_dir);
    }
    return std::nullopt;
}

std::string trimmed(std::string text) {
    const auto blank = [](unsigned char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    };
    while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.pop_back();
    const auto first = std::find_if_not(
        text.begin(), text.end(), [&](char c) { return blank(static_cast<unsigned char>(c)); });
    text.erase(text.begin(), first);
    return text;
}

std::string read_host_id() {
    std::string line;
    if (auto machine_id = read_regular_file(folders::system_path("/etc/machine-id"))) {
        line = machine_id->substr(0, machine_id->find('\n'));
    }
    line = trimmed(std::move(line));
    if (line.empty()) {
        std::array<char, 256> name{};
        if (::gethostname(name.data(), name.size() - 1) == 0) line = trimmed(name.data());
    }
    // The identifier becomes part of a file name.
    std::replace(line.begin(), line.end(), '/', '_');
    line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
    if (!valid_component(line)) line = "localhost";
    return line;
}

}  // namespace

std::optional<std::filesystem::path> preferences_root() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return std::filesystem::path(config) / "Preferences";
    auto home = home_folder();
    if (!home) return std::nullopt;
    return *home / ".config" / "Preferences";
}

std::string host_id() {
    // Read once per file-system view: every per-host access asks for it.
    static std::mutex lock;
    static std::optional<std::pair<std::filesystem::path, std::string>> cached;
    const std::lock_guard guard(lock);
    if (!cached || cached->first != folders::root())
        cached.emplace(folders::root(), read_host_id());
    return cached->second;
}

std::optional<std::filesystem::path> domain_path(std::string_view domain, Scope scope) {
    if (!valid_component(domain)) return std::nullopt;
    auto root = preferences_root();
    if (!root) return std::nullopt;
    std::string name(domain);
    if (scope == Scope::AnyHost) return *root / (name + ".plist");
    return *root / "ByHost" / (name + "." + host_id() + ".plist");
}

}  // namespace platform::prefs
