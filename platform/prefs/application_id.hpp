#pragma once
// The application identifier of the running program, for its own preferences when nobody names
// one ("the identifier of the main bundle"). A program here is not a bundle: its identifier is
// its name as it was started (the last component of argv[0]), or the name of its executable
// file when that is empty.

#include <string>

namespace platform::prefs {

std::string current_application_id();

}  // namespace platform::prefs
