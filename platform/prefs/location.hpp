#pragma once
// Where preference domains live.
//
//   per-user root                 $XDG_CONFIG_HOME/Preferences, or $HOME/.config/Preferences
//   current user, any host        <root>/<domain>.plist
//   current user, current host    <root>/ByHost/<domain>.<host>.plist
//
// <host> is the first line of /etc/machine-id, or the host name when that file is missing or
// empty. XDG_CONFIG_HOME counts as unset when it is empty or relative, as the XDG base-directory
// rules say; without HOME the password database gives the home folder.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::prefs {

enum class Scope {
    AnyHost,      // the current user's preferences, shared by all of the user's machines
    CurrentHost,  // the current user's preferences for this machine only
};

// Empty when no home folder can be found.
std::optional<std::filesystem::path> preferences_root();

// The machine's identifier in per-host file names; never empty, never holds '/'.
std::string host_id();

// The file of a domain; empty for a name that is not one file-name component (empty, ".",
// "..", or holding '/' or NUL) or when there is no root.
std::optional<std::filesystem::path> domain_path(std::string_view domain, Scope scope);

}  // namespace platform::prefs
