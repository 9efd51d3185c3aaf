#pragma once
// Why twain-source made no backend. When its DS_Entry answers TWRC_FAILURE without a backend,
// the host takes the data source's steps at the backend bundle's fixed path again, one by one,
// and names the first that cannot be taken: the bundle, its executable, its principal class, or,
// when all of those are there, the backend's own initialisation.

#include <filesystem>
#include <string>

namespace twain_host {

// "/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle", where twain-source looks.
std::filesystem::path backend_bundle_path();

// In words, the first step of creating the backend from the bundle that cannot be taken:
//   no backend bundle: <bundle> does not exist
//   no executable: cannot load <bundle>: <the loader's reason>
//   no principal class: <executable> exports no VelScanBackend
//   the backend refused its initialisation: ...
// Loads the bundle's code for the look and unloads it again.
std::string explain_missing_backend(const std::filesystem::path& bundle);

}  // namespace twain_host
