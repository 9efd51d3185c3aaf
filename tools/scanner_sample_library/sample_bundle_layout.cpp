#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace scanner_sample {

namespace {

namespace fs = std::filesystem;

platform::Result<void> replace_file(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_directories(to.parent_path(), error);
    if (error)
        return platform::Error{"cannot create " + to.parent_path().string() + ": " +
                               error.message()};
    fs::path fresh = to;
    fresh += ".new";
    fs::copy_file(from, fresh, fs::copy_options::overwrite_existing, error);
    if (!error) fs::rename(fresh, to, error);
    if (error) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        return platform::Error{"cannot copy " + from.string() + " to " + to.string() + ": " +
                               error.message()};
    }
    return {};
}

}  // namespace

std::optional<fs::path> find_built_bundle(const fs::path& program) {
    const fs::path folder = program.parent_path();
    for (const auto& candidate :
         {folder / bundle_name, folder / ".." / "share" / "velmora" / "samples" / bundle_name}) {
        std::error_code error;
        if (fs::is_regular_file(candidate / "Contents" / "MacOS" / executable_name, error)) {
            return candidate.lexically_normal();
        }
    }
    return std::nullopt;
}

platform::Result<void> make_sample_bundle(const fs::path& built, const fs::path& folder,
                                          const Settings& settings) {
    for (const fs::path& part :
         {fs::path("Contents/Info.plist"), fs::path("Contents/MacOS") / executable_name}) {
        if (auto copied = replace_file(built / part, folder / part); !copied) return copied;
    }
    return write_settings(folder, settings);
}

}  // namespace scanner_sample
