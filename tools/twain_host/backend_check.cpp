#include "tools/twain_host/backend_check.hpp"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/bundle/bundle.hpp"
#include "twain/backend/data_source_backend.hpp"
#include "twain/utility/tds_utility.hpp"

namespace twain_host {

namespace {

namespace fs = std::filesystem;

bool is_identifier(const std::string& name) {
    const auto identifier_character = [](char c) {
        return c == '_' || std::isalnum(static_cast<unsigned char>(c)) != 0;
    };
    return !name.empty() && std::isdigit(static_cast<unsigned char>(name.front())) == 0 &&
           std::all_of(name.begin(), name.end(), identifier_character);
}

// What the loader knows of an exported symbol: a data object, and of what size. A principal class
// is a data object at least as large as its record, as twain-source checks it.
struct SymbolShape {
    bool data_object = false;
    std::size_t size = 0;
};

SymbolShape shape_of(void* symbol) {
    Dl_info info{};
    void* entry = nullptr;
    if (::dladdr1(symbol, &info, &entry, RTLD_DL_SYMENT) == 0 || !entry) return {};
    const auto* description = static_cast<const ElfW(Sym)*>(entry);
    return {ELF64_ST_TYPE(description->st_info) == STT_OBJECT, description->st_size};
}

}  // namespace

fs::path backend_bundle_path() { return fs::path(twain::TDSUtility::returnDSBackendPath()); }

std::string explain_missing_backend(const fs::path& bundle_path) {
    std::error_code error;
    if (!fs::is_directory(bundle_path, error)) {
        return "no backend bundle: " + bundle_path.string() + " does not exist";
    }
    auto bundle = platform::bundle::Bundle::open(bundle_path);
    if (!bundle) return "no backend bundle: " + bundle.error().message;
    const fs::path info_file = bundle_path / "Contents/Info.plist";
    if (bundle->info_dictionary().is_null()) {
        return "no executable: " + info_file.string() + " is missing or holds no dictionary";
    }

    const auto executable_name = bundle->info_string("CFBundleExecutable");
    if (!executable_name || executable_name->empty()) {
        return "no executable: " + info_file.string() + " names none (CFBundleExecutable)";
    }
    const auto executable = bundle->executable_path();
    if (!executable) {
        return "no executable: " + (bundle_path / "Contents/MacOS" / *executable_name).string() +
               " does not exist";
    }
    if (auto loaded = bundle->load(); !loaded) return "no executable: " + loaded.error().message;

    const auto class_name = bundle->info_string("NSPrincipalClass");
    if (!class_name) {
        return "no principal class: " + info_file.string() + " names none (NSPrincipalClass)";
    }
    if (!is_identifier(*class_name)) {
        return "no principal class: \"" + *class_name + "\" (NSPrincipalClass) is no C identifier";
    }
    void* symbol = bundle->symbol(class_name->c_str());
    if (!symbol)
        return "no principal class: " + executable->string() + " exports no " + *class_name;
    const auto shape = shape_of(symbol);
    if (!shape.data_object || shape.size < sizeof(twain::DataSourceBackendClass)) {
        return "no principal class: " + *class_name + " in " + executable->string() +
               " is no class record (a data object of " +
               std::to_string(sizeof(twain::DataSourceBackendClass)) + " bytes)";
    }
    const auto* principal = static_cast<const twain::DataSourceBackendClass*>(symbol);
    if (principal->interfaceVersion != twain::kDataSourceBackendInterfaceVersion) {
        return "no principal class: " + *class_name + " has interface version " +
               std::to_string(principal->interfaceVersion) + ", twain-source takes " +
               std::to_string(twain::kDataSourceBackendInterfaceVersion);
    }
    if (!principal->alloc) return "no principal class: " + *class_name + " has no alloc";
    return "the backend refused its initialisation: " + *class_name +
           " made no instance (alloc) or refused initWithIdentity";
}

}  // namespace twain_host
