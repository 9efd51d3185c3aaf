#pragma once
// A data source shared object (".ds") loaded the way the Source Manager loads one: dlopen, then
// the entry point "DS_Entry" looked up by name. Unloaded when the owner goes away.

#include <filesystem>
#include <string>

#include "platform/base/result.hpp"
#include "twain/protocol/twain_types.hpp"

namespace twain_host {

class DataSourceLibrary {
public:
    // Fails with dlerror's words when the file does not load or has no DS_Entry.
    static platform::Result<DataSourceLibrary> load(const std::filesystem::path& path);

    DataSourceLibrary(DataSourceLibrary&& other) noexcept;
    DataSourceLibrary& operator=(DataSourceLibrary&& other) noexcept;
    DataSourceLibrary(const DataSourceLibrary&) = delete;
    DataSourceLibrary& operator=(const DataSourceLibrary&) = delete;
    ~DataSourceLibrary();

    twain::DSENTRYPROC entry() const { return entry_; }
    // The address of another exported symbol; null when there is none.
    void* symbol(const char* name) const;

private:
    DataSourceLibrary(void* handle, twain::DSENTRYPROC entry_point)
        : handle_(handle), entry_(entry_point) {}

    void* handle_ = nullptr;  // dlopen handle, owned
    twain::DSENTRYPROC entry_ = nullptr;
};

}  // namespace twain_host
