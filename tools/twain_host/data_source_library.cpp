#include "tools/twain_host/data_source_library.hpp"

#include <dlfcn.h>

#include <utility>

namespace twain_host {

namespace {

std::string last_dl_error() {
    const char* reason = ::dlerror();
    return reason ? reason : "unknown error";
}

}  // namespace

platform::Result<DataSourceLibrary> DataSourceLibrary::load(const std::filesystem::path& path) {
    // A name without a folder would be looked up in the library path, not where the user means.
    std::error_code ignored;
    const auto file = std::filesystem::absolute(path, ignored);
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return platform::Error{last_dl_error()};
    void* entry = ::dlsym(handle, "DS_Entry");
    if (!entry) {
        auto error = platform::Error{path.string() + " has no DS_Entry"};
        ::dlclose(handle);
        return error;
    }
    return DataSourceLibrary(handle, reinterpret_cast<twain::DSENTRYPROC>(entry));
}

DataSourceLibrary::DataSourceLibrary(DataSourceLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      entry_(std::exchange(other.entry_, nullptr)) {}

DataSourceLibrary& DataSourceLibrary::operator=(DataSourceLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_) ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        entry_ = std::exchange(other.entry_, nullptr);
    }
    return *this;
}

void* DataSourceLibrary::symbol(const char* name) const { return ::dlsym(handle_, name); }

DataSourceLibrary::~DataSourceLibrary() {
    if (handle_) ::dlclose(handle_);
}

}  // namespace twain_host
