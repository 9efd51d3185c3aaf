#pragma once
// Where the Linux TWAIN Data Source Manager finds data sources: every regular file named "*.ds"
// below a folder, at any depth.

#include <filesystem>
#include <vector>

namespace twain_host {

inline constexpr const char* kDataSourceFolder = "/usr/local/lib/twain";

// In path order; an unreadable or missing folder has none.
std::vector<std::filesystem::path> data_source_files(const std::filesystem::path& folder);

}  // namespace twain_host
