#pragma once
// TDSUtility: the class operations of twain-source around its backend. It builds the backend
// info dictionary, creates the backend from the principal class of the backend bundle, and names
// the two installed bundles that twain-source works with.
//
// Paths: returnDSBackendPath and returnImagingPath name the installed system's fixed paths. Every
// use of one goes through platform::folders::system_path, and what reaches the backend is always
// the path in the current view: the fixed path itself on an installed system, the same path
// below the test's root folder in tests.

#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/plist/value.hpp"
#include "twain/backend/data_source_backend.hpp"
#include "twain/protocol/twain_types.hpp"

namespace twain {

class TDSUtility {
public:
    TDSUtility() = delete;

    // The backend info dictionary (info_dictionary_keys.hpp) for the scanner bundle and the
    // scanner library at these paths: 32 keys at most, 25 when the scanner bundle or its
    // Info.plist is missing. Never null, never holding a null value.
    static platform::plist::Value getInfoDictWithBundlePath(
        const std::filesystem::path& bundlePath, const std::filesystem::path& driverPath);

    // A new backend, created from the principal class of the bundle at the path and initialised
    // with the identity and the dictionary (null allowed); null when the bundle, its code or its
    // principal class is missing or the initialiser refuses. A created backend's code stays
    // loaded for the rest of the process.
    static std::unique_ptr<DataSourceBackend> loadDSBackend(
        const std::filesystem::path& backendPath, TW_IDENTITY identity,
        const platform::plist::Value& dictionary);

    static std::string_view returnDSBackendPath();
    static std::string_view returnImagingPath();
};

}  // namespace twain
