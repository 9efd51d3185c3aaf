// Creating the backend from the principal class of the backend bundle (data_source_backend.hpp
// describes what the bundle provides).

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cctype>

#include "platform/bundle/bundle.hpp"
#include "twain/utility/tds_utility.hpp"

namespace twain {

namespace {

// The principal class is found by its name as a symbol, so only C identifiers can name one.
bool isSymbolName(const std::string& name) {
    const auto identifierCharacter = [](char c) {
        return c == '_' || std::isalnum(static_cast<unsigned char>(c)) != 0;
    };
    return !name.empty() && std::isdigit(static_cast<unsigned char>(name.front())) == 0 &&
           std::all_of(name.begin(), name.end(), identifierCharacter);
}

// The class record at a looked-up symbol: only a data object at least as large as a record can
// be one (a function, or a smaller object of the same name, is no principal class).
const DataSourceBackendClass* classRecord(void* symbol) {
    Dl_info info{};
    void* entry = nullptr;
    if (!symbol || ::dladdr1(symbol, &info, &entry, RTLD_DL_SYMENT) == 0 || !entry) return nullptr;
    const auto* description = static_cast<const ElfW(Sym)*>(entry);
    if (ELF64_ST_TYPE(description->st_info) != STT_OBJECT ||
        description->st_size < sizeof(DataSourceBackendClass)) {
        return nullptr;
    }
    return static_cast<const DataSourceBackendClass*>(symbol);
}

// Keeps already loaded code in memory until the process ends, whatever unloads it later: a
// backend that lives for the rest of the process needs its code for as long.
bool keepLoadedForGood(const std::filesystem::path& executable) {
    void* handle = ::dlopen(executable.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (!handle) return false;
    ::dlclose(handle);
    return true;
}

}  // namespace

std::unique_ptr<DataSourceBackend> TDSUtility::loadDSBackend(
    const std::filesystem::path& backendPath, TW_IDENTITY identity,
    const platform::plist::Value& dictionary) {
    // Declared first, so that an instance refused below is destroyed while its code is loaded.
    auto bundle = platform::bundle::Bundle::open(backendPath);
    if (!bundle) return nullptr;
    const auto className = bundle->info_string("NSPrincipalClass");
    if (!className || !isSymbolName(*className) || !bundle->load()) return nullptr;
    const auto* principal = classRecord(bundle->symbol(className->c_str()));
    if (!principal || principal->interfaceVersion != kDataSourceBackendInterfaceVersion ||
        !principal->alloc) {
        return nullptr;
    }
    auto backend = principal->alloc();
    if (!backend || !backend->initWithIdentity(identity, dictionary)) return nullptr;
    const auto executable = bundle->executable_path();
    if (!executable || !keepLoadedForGood(*executable)) return nullptr;
    return backend;
}

}  // namespace twain
