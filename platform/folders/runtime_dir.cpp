#include "platform/folders/runtime_dir.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/base/errno_text.hpp"

namespace platform::folders {

namespace {

// Whether the folder is safe to keep sockets in, and so to trust the sockets found in it.
Result<void> check_private_folder(const std::filesystem::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return Error{errno_text("cannot inspect " + folder.string(), errno)};
    }
    if (!S_ISDIR(info.st_mode)) return Error{folder.string() + " is not a folder"};
    if (info.st_uid != ::geteuid()) return Error{folder.string() + " belongs to another user"};
    if ((info.st_mode & (S_IWGRP | S_IXGRP | S_IWOTH | S_IXOTH)) != 0) {
        return Error{folder.string() + " is open to other users"};
    }
    return {};
}

// Creates the folder when missing, then checks it.
Result<void> ensure_private_folder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return Error{errno_text("cannot create " + folder.string(), errno)};
    }
    return check_private_folder(folder);
}

bool runtime_dir_is_fallback() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    return !(xdg && *xdg);
}

}  // namespace

std::filesystem::path runtime_dir() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg) return xdg;
    return "/tmp/runtime-" + std::to_string(::geteuid());
}

Result<std::filesystem::path> private_runtime_subfolder(std::string_view name) {
    const auto base = runtime_dir();
    if (runtime_dir_is_fallback()) {
        if (auto made = ensure_private_folder(base); !made) return made.error();
    }
    auto folder = base / name;
    if (auto made = ensure_private_folder(folder); !made) return made.error();
    return folder;
}

Result<std::filesystem::path> existing_private_runtime_subfolder(std::string_view name) {
    const auto base = runtime_dir();
    if (runtime_dir_is_fallback()) {
        if (auto checked = check_private_folder(base); !checked) return checked.error();
    }
    auto folder = base / name;
    if (auto checked = check_private_folder(folder); !checked) return checked.error();
    return folder;
}

}  // namespace platform::folders
