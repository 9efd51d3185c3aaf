#include "platform/bundle/bundle.hpp"

#include <dlfcn.h>
#include <gnu/lib-names.h>

#include <utility>

#include "platform/base/os_status.hpp"
#include "platform/folders/folders.hpp"
#include "platform/plist/document.hpp"

namespace platform::bundle {

namespace {

bool is_system_framework(const std::filesystem::path& folder) {
    if (folder.filename() != "System.framework") return false;
    auto frameworks = folders::find_folder(folders::Folder::Frameworks, true);
    return frameworks && folder.parent_path().lexically_normal() == frameworks->lexically_normal();
}

std::optional<std::filesystem::path> existing(std::filesystem::path path, bool folder) {
    std::error_code error;
    const bool found = folder ? std::filesystem::is_directory(path, error)
                              : std::filesystem::is_regular_file(path, error);
    if (!found) return std::nullopt;
    return path;
}

}  // namespace

Result<Bundle> Bundle::open(const std::filesystem::path& folder) {
    if (is_system_framework(folder)) return Bundle(folder, plist::Value(), true);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        return Error{"no bundle at " + folder.string(), os_status::fnfErr};
    }
    auto info = plist::read_file(folder / "Contents/Info.plist");
    plist::Value dictionary;
    if (info && info->is(plist::Type::Dictionary)) dictionary = std::move(info.value());
    return Bundle(folder, std::move(dictionary), false);
}

Bundle::Bundle(std::filesystem::path path, plist::Value info, bool system_framework)
    : path_(std::move(path)), info_(std::move(info)), system_framework_(system_framework) {}

Bundle::Bundle(Bundle&& other) noexcept
    : path_(std::move(other.path_)),
      info_(std::move(other.info_)),
      system_framework_(other.system_framework_),
      handle_(std::exchange(other.handle_, nullptr)) {}

Bundle& Bundle::operator=(Bundle&& other) noexcept {
    if (this != &other) {
        unload();
        path_ = std::move(other.path_);
        info_ = std::move(other.info_);
        system_framework_ = other.system_framework_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Bundle::~Bundle() { unload(); }

std::optional<std::string> Bundle::info_string(std::string_view key) const {
    const auto* text = info_.get(key).as_string();
    if (!text) return std::nullopt;
    return *text;
}

std::optional<std::filesystem::path> Bundle::executable_path() const {
    const auto name = info_string("CFBundleExecutable");
    if (!name || name->empty() || name->find('/') != std::string::npos) return std::nullopt;
    return existing(path_ / "Contents/MacOS" / *name, false);
}

std::optional<std::filesystem::path> Bundle::shared_support_path() const {
    if (system_framework_) return std::nullopt;
    return existing(path_ / "Contents/SharedSupport", true);
}

std::optional<std::filesystem::path> Bundle::resource_path(std::string_view name,
                                                           std::string_view type) const {
    if (system_framework_ || name.empty() || name.find('/') != std::string_view::npos ||
        type.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string file(name);
    if (!type.empty()) {
        file += '.';
        file += type;
    }
    return existing(path_ / "Contents/Resources" / file, false);
}

Result<void> Bundle::load() {
    if (handle_) return {};
    if (system_framework_) {
        handle_ = ::dlopen(LIBC_SO, RTLD_NOW | RTLD_LOCAL);
    } else {
        const auto executable = executable_path();
        if (!executable) return Error{path_.string() + " has no executable", os_status::fnfErr};
        handle_ = ::dlopen(executable->c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle_) {
        const char* reason = ::dlerror();
        return Error{"cannot load " + path_.string() + ": " + (reason ? reason : "unknown error")};
    }
    return {};
}

void* Bundle::symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    return ::dlsym(handle_, name);
}

void Bundle::unload() {
    if (handle_) ::dlclose(std::exchange(handle_, nullptr));
}

}  // namespace platform::bundle
