#pragma once
// The per-user runtime folder and its private sub-folders (message ports, application events).

#include <filesystem>
#include <string_view>

#include "platform/base/result.hpp"

namespace platform::folders {

// $XDG_RUNTIME_DIR, or /tmp/runtime-<uid> when it is unset or empty.
std::filesystem::path runtime_dir();

// <runtime>/<name>, created with mode 0700 (with the runtime folder itself when that is the
// /tmp fallback). A folder that is not a directory of the current user, or that others can
// enter or write, is refused: nothing is created inside it.
Result<std::filesystem::path> private_runtime_subfolder(std::string_view name);

// The same folder when it exists and passes the same checks; nothing is created. What a sender
// finds in a folder that others could have put there is not to be trusted.
Result<std::filesystem::path> existing_private_runtime_subfolder(std::string_view name);

}  // namespace platform::folders
