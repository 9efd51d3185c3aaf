#pragma once
// Where the stand-in's launch event comes from: the launch parameters on standard input (a
// regular file when launched from a bundle), or a file named on the command line.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/base/result.hpp"

namespace standin {

// The bytes of the launch event: from the file when one is named ("-" is standard input),
// else from standard input when it is a regular file. Empty when there are none.
platform::Result<std::vector<std::byte>> read_launch_event(
    const std::optional<std::filesystem::path>& file);

}  // namespace standin
