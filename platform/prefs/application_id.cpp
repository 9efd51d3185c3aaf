#include "platform/prefs/application_id.hpp"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace platform::prefs {

std::string current_application_id() {
    // glibc keeps the short name of argv[0] for the whole process.
    std::string name = program_invocation_short_name ? program_invocation_short_name : "";
    if (name.empty()) {
        std::error_code error;
        name = std::filesystem::read_symlink("/proc/self/exe", error).filename().string();
    }
    return name;
}

}  // namespace platform::prefs
