#pragma once
// The file that tells tests and scripts which process serves the signature.

#include <filesystem>

#include "platform/base/result.hpp"

namespace standin {

// Writes the process ID and a newline, whole: readers see the old file or the new one.
platform::Result<void> write_pid_file(const std::filesystem::path& path);

}  // namespace standin
