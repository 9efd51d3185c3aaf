#pragma once
// Listing data sources the way the Linux TWAIN Data Source Manager does: every regular file
// named "*.ds" below a folder is loaded and asked DG_CONTROL/DAT_IDENTITY/MSG_GET with a null
// origin, then unloaded again.

#include <filesystem>
#include <ostream>

#include "tools/twain_host/data_source_files.hpp"

namespace twain_host {

// Prints each data source found with its answer. When twain-source answers TWRC_FAILURE because
// it could not make its backend, says which step of making it could not be taken. True when at
// least one data source answered with TWRC_SUCCESS.
bool probe_data_sources(const std::filesystem::path& folder, std::ostream& out);

}  // namespace twain_host
