#include "platform/folders/file_ref.hpp"

#include "platform/base/os_status.hpp"

namespace platform::folders {

Result<FileRef> make_file_ref(const std::filesystem::path& path) {
    std::error_code error;
    auto resolved = std::filesystem::canonical(path, error);
    if (error || path.empty())
        return Error{"nothing exists at " + path.string(), os_status::fnfErr};
    return FileRef{std::move(resolved)};
}

}  // namespace platform::folders
