#include "platform/folders/folders.hpp"

#include "platform/base/os_status.hpp"

namespace platform::folders {

namespace {

std::filesystem::path& view_root() {
    static std::filesystem::path root;
    return root;
}

}  // namespace

void set_root(const std::filesystem::path& root) { view_root() = root; }

const std::filesystem::path& root() { return view_root(); }

std::filesystem::path system_path(std::string_view absolute_path) {
    const auto& base = view_root();
    if (base.empty()) return std::filesystem::path(absolute_path);
    std::string_view relative = absolute_path;
    while (relative.starts_with('/')) relative.remove_prefix(1);
    return base / relative;
}

Result<std::filesystem::path> find_folder(Folder folder, bool create) {
    const std::string_view fixed = folder == Folder::ApplicationSupport
                                       ? "/Library/Application Support"
                                       : "/System/Library/Frameworks";
    auto path = system_path(fixed);
    std::error_code error;
    if (std::filesystem::is_directory(path, error) || create) return path;
    return Error{std::string(fixed) + " does not exist", os_status::fnfErr};
}

}  // namespace platform::folders
