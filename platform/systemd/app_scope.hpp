#pragma once
// How desktops place the applications they launch: each in a transient scope of its own on the
// user's service manager, named app-<launcher>-<ApplicationID>-<RANDOM>.scope, in app.slice.
// Stopping or restarting the launcher's own unit then leaves the application running, and a
// person finds it by its application ID. The application gets the display of the session the
// manager knows now, which may be newer than the one the launcher started with.

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::systemd {

inline constexpr std::string_view app_slice = "app.slice";

// A piece of a unit name as systemd escapes it: every byte other than ASCII letters, digits,
// ':', '_' and '.' (and a leading '.') becomes \xNN, so '-' never appears inside the piece.
std::string escape_unit_name_part(std::string_view text);

// app-<launcher>-<application id>-<pid>.scope, each piece escaped. An application ID long
// enough to make the name longer than a unit name may be is cut short.
std::string app_scope_name(std::string_view launcher, std::string_view application_id, pid_t pid);

// The variables that say where the user's session shows things and how to reach it.
const std::vector<std::string>& display_variables();

// The environment "own" (NAME=value entries) with the display variables that the manager has set
// to the manager's values. A variable the manager lacks stays as own has it: a program started
// by hand in a session whose manager was never told of the display still hands that display on.
// The order of own's other entries is kept.
std::vector<std::string> with_display_of(const std::vector<std::string>& own,
                                         const std::vector<std::string>& manager);

}  // namespace platform::systemd
