#pragma once
// The two arguments button-monitor answers. Any other argument is ignored: the monitor starts
// as it would without it.

#include <optional>
#include <string>

namespace monitor {

// The version of the project it was built with ("0.1.0").
const char* MonitorVersion();

// The text that --help or --version prints (whichever comes first), or nullopt when the
// monitor is to start.
std::optional<std::string> AnswerArguments(int argc, const char* const argv[]);

}  // namespace monitor
