#pragma once
// Bundles on disk: a folder "<name>.bundle" (or ".app", ".framework") with Contents/Info.plist,
// Contents/MacOS/<CFBundleExecutable>, Contents/Resources/ and Contents/SharedSupport/.
// Loading the code is dlopen, entry points are dlsym, unloading is dlclose.
//
// Linux has no "System.framework": a bundle opened at <Frameworks folder>/System.framework is
// served from the C library without any folder on disk, so that its "system" entry point can be
// looked up like any other.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/result.hpp"
#include "platform/plist/value.hpp"

namespace platform::bundle {

class Bundle {
public:
    // The bundle at a folder. Fails (status -43) when the folder does not exist; a folder without
    // a readable Info.plist is still a bundle, with a null info dictionary.
    static Result<Bundle> open(const std::filesystem::path& folder);

    Bundle(Bundle&& other) noexcept;
    Bundle& operator=(Bundle&& other) noexcept;
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;
    ~Bundle();  // unloads the code if it is loaded

    const std::filesystem::path& path() const { return path_; }
    // Contents/Info.plist as a dictionary; null when missing, malformed or not a dictionary.
    const plist::Value& info_dictionary() const { return info_; }
    // A string entry of the info dictionary ("CFBundleIdentifier", "NSPrincipalClass", ...).
    std::optional<std::string> info_string(std::string_view key) const;

    // Contents/MacOS/<CFBundleExecutable>, when the key is set and that file exists.
    std::optional<std::filesystem::path> executable_path() const;
    // Contents/SharedSupport, when that folder exists.
    std::optional<std::filesystem::path> shared_support_path() const;
    // Contents/Resources/<name>.<type> (<name> alone when type is empty), when it exists.
    std::optional<std::filesystem::path> resource_path(std::string_view name,
                                                       std::string_view type) const;

    // Loads the executable (RTLD_NOW, RTLD_LOCAL). Loading a loaded bundle does nothing.
    Result<void> load();
    bool is_loaded() const { return handle_ != nullptr; }
    // The address of an exported symbol of the loaded code; null when not loaded or missing.
    void* symbol(const char* name) const;
    // Unloads the code; does nothing when it is not loaded.
    void unload();

private:
    Bundle(std::filesystem::path path, plist::Value info, bool system_framework);

    std::filesystem::path path_;
    plist::Value info_;
    bool system_framework_ = false;
    void* handle_ = nullptr;  // dlopen handle, owned
};

// A typed entry point: Bundle::symbol converted to a function pointer type, null when missing.
template <class Function>
Function* entry_point(const Bundle& bundle, const char* name) {
    return reinterpret_cast<Function*>(bundle.symbol(name));
}

}  // namespace platform::bundle
