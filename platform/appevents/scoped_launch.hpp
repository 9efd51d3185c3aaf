#pragma once
// Launching an application bundle the way a desktop launches applications: with the display of
// the user's session as the user's service manager knows it now, and into a transient scope of
// its own on that manager (platform/systemd/app_scope.hpp), so that the application outlives
// the unit of the program that launched it.
//
// The manager is asked over the user bus, and all the asking (the connection, its environment,
// the scope) together waits at most bus_wait_limit. When there is no manager, or it refuses or
// does not answer in time, the application is launched all the same, with the caller's
// environment and in the caller's own group, as launch_application does.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/base/result.hpp"

namespace platform::appevents {

inline constexpr std::chrono::milliseconds bus_wait_limit{1000};

struct ScopedLaunch {
    pid_t pid = -1;
    std::string application_id;  // the bundle's CFBundleIdentifier, else its executable's name
    std::optional<std::string> scope;          // the scope asked for, when the manager took it
    std::optional<std::string> scope_failure;  // else why the application has none
};

// Launches as launch_application does (its errors are this function's), then asks for the
// scope app-<launcher>-<application id>-<pid>.scope. The launcher is a short name without '-'.
Result<ScopedLaunch> launch_application_in_scope(const std::filesystem::path& bundle,
                                                 std::span<const std::byte> launch_parameters,
                                                 std::string_view launcher);

}  // namespace platform::appevents
