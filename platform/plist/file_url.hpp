#pragma once
// The string form of file URLs ("file:///Applications/Preview.app"), as stored in preferences.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::plist {

// "file://" and the absolute path, percent-encoding every byte outside RFC 3986's unreserved
// characters and the sub-delimiters allowed in a path.
std::string file_url_string(const std::filesystem::path& absolute_path);

// The path of a "file:" URL with an empty or "localhost" host, percent-decoded; empty for any
// other URL, a malformed escape, or an encoded NUL.
std::optional<std::filesystem::path> path_from_file_url_string(std::string_view url);

}  // namespace platform::plist
