#pragma once
// The well-known folders and every fixed absolute path of the system.
//
// The system's paths ("/Library/Application Support/...", "/Users/benchuser/scanprobe") are
// used as they stand, but always through system_path(), so that a test can root the whole view
// in a temporary directory with set_root(). Lookups never create folders.

#include <filesystem>
#include <string_view>

#include "platform/base/result.hpp"

namespace platform::folders {

// The file-system view: empty (the real root) unless a test set one. Set it before other
// threads use this module.
void set_root(const std::filesystem::path& root);
const std::filesystem::path& root();

// An absolute path of the system as seen in the current view.
std::filesystem::path system_path(std::string_view absolute_path);

enum class Folder {
    ApplicationSupport,  // "/Library/Application Support", on the system disk
    Frameworks,          // "/System/Library/Frameworks", on the appropriate disk
};

// The folder's path in the current view. A folder that does not exist is an error with status
// -43 (fnfErr), unless the caller asked for it to be created: nothing is ever created, and the
// path is answered all the same, since the bundle layer serves "System.framework" from there
// without a folder on disk.
Result<std::filesystem::path> find_folder(Folder folder, bool create);

}  // namespace platform::folders
