#pragma once
// The stand-in's command line.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/four_char_code.hpp"
#include "platform/base/result.hpp"
#include "tools/command_line/command_line.hpp"

namespace standin {

struct Options {
    platform::FourCharCode signature = platform::four_char_code("QH06");
    std::optional<std::filesystem::path> pid_file;
    std::optional<std::filesystem::path> log;
    // A file to read the launch event from; "-" is standard input whatever it is.
    std::optional<std::filesystem::path> launch_event;
    std::optional<std::filesystem::path> make_bundle;
    tools::command_line::Request request = tools::command_line::Request::Run;
};

platform::Result<Options> parse_options(const std::vector<std::string>& arguments);

// The options a laid-out bundle runs the stand-in with: the signature, and the pid file and log
// as absolute paths (a launched application's working folder is the launcher's).
std::vector<std::string> bundle_arguments(const Options& options);

extern const char* const help_text;

}  // namespace standin
