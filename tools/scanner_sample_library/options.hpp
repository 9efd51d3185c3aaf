#pragma once
// The command line of scanner-library-sample.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/result.hpp"
#include "tools/command_line/command_line.hpp"
#include "tools/scanner_sample_library/sample_settings.hpp"

namespace scanner_sample {

struct Options {
    std::optional<std::filesystem::path> make_bundle;
    std::optional<std::filesystem::path> show_record;
    Settings settings;
    tools::command_line::Request request = tools::command_line::Request::Run;
};

platform::Result<Options> parse_options(const std::vector<std::string>& arguments);

extern const char* const help_text;

}  // namespace scanner_sample
