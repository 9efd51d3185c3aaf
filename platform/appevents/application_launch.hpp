#pragma once
// Launching an application bundle with launch parameters.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

#include "platform/base/result.hpp"

namespace platform::appevents {

// Runs Contents/MacOS/<CFBundleExecutable> of the bundle (named by its Contents/Info.plist) with
// no arguments, in a new session detached from the caller: the caller's environment, the launch
// parameters as standard input (a memory file, read to its end, so no size ever blocks the
// caller), /dev/null as standard output and error, no other descriptor of the caller, default
// signal dispositions and an empty signal mask. The caller keeps no child: the application
// runs as the child of a short-lived intermediate process that this call reaps.
//
// Returns the application's process ID once its program has started. Status -43 (fnfErr) when
// the bundle or its executable is missing (or the program cannot be found when started);
// any other failure to start it is an error too, never a success.
Result<pid_t> launch_application(const std::filesystem::path& bundle,
                                 std::span<const std::byte> launch_parameters);
// The same with the environment given ("NAME=value" entries) instead of the caller's.
Result<pid_t> launch_application(const std::filesystem::path& bundle,
                                 std::span<const std::byte> launch_parameters,
                                 std::span<const std::string> environment);

}  // namespace platform::appevents
