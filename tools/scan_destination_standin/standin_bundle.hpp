#pragma once
// The stand-in laid out as an application bundle, so that a launcher finds an executable in it.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/four_char_code.hpp"
#include "platform/base/result.hpp"

namespace standin {

// Writes folder/Contents/Info.plist and folder/Contents/MacOS/scan-destination-standin, a
// shell script that execs the program with the arguments (and any it is given), creating the
// folders as needed and replacing those two files when they exist.
platform::Result<void> make_standin_bundle(const std::filesystem::path& folder,
                                           const std::filesystem::path& program,
                                           platform::FourCharCode signature,
                                           const std::vector<std::string>& arguments);

}  // namespace standin
