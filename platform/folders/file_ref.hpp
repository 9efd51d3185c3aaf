#pragma once
// A reference to an existing file: its resolved absolute path. This platform's counterpart of
// a file-system reference and of the file record filled from one.

#include <filesystem>

#include "platform/base/result.hpp"

namespace platform::folders {

struct FileRef {
    std::filesystem::path path;  // absolute, symbolic links resolved
    friend bool operator==(const FileRef&, const FileRef&) = default;
};

// The reference of what exists at the path (a file or a folder); status -43 (fnfErr) when
// nothing does.
Result<FileRef> make_file_ref(const std::filesystem::path& path);

}  // namespace platform::folders
