#pragma once
// The command lines of the companion tools, read with getopt_long: a long option takes its value
// as "--address 10.0.0.5" or "--address=10.0.0.5", a unique abbreviation ("--addr") stands for
// it, short forms are "-a 10.0.0.5", "-a10.0.0.5" and grouped flags; "--" ends the options.
// Every tool answers --help (-h) and --version (-V) alike.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.hpp"

namespace tools::command_line {

struct Option {
    const char* name;  // the long form, without "--"
    char letter = 0;   // the short form; 0 for none
    bool takes_value = false;
};

// What a command line asks of the tool besides its options.
enum class Request { Run, Help, Version };

struct Arguments {
    Request request = Request::Run;
    std::vector<std::string> operands;  // the words that are no options, in their order
};

// Called for each option as it comes: its index in the table and its value ("" for a flag). An
// error stops the reading and becomes the command line's.
using OptionHandler = std::function<platform::Result<void>(std::size_t, const std::string&)>;

// Reads the arguments (without the program's name) against the table, to which --help and
// --version are added. Options and operands may be mixed; operands keep their order. Refused:
// "unknown option --x", "--address needs a value" (an empty value too).
platform::Result<Arguments> read(const std::vector<std::string>& arguments,
                                 std::span<const Option> options, const OptionHandler& handle);

// "network-button-send (Velmora scanner software) 0.1.0\n"
std::string version_text(std::string_view program);

// The common ends of a tool's command line: a refused one is reported on standard error as
// "PROGRAM: MESSAGE (see --help)" with exit status 2; --help prints the help text and --version
// the version text, with 0. Nothing when the tool has its own work to do.
int refuse(std::string_view program, std::string_view message);
std::optional<int> answer(Request request, std::string_view program, std::string_view help);

template <class Options>
std::optional<int> finish_early(std::string_view program, const platform::Result<Options>& options,
                                std::string_view help) {
    if (!options) return refuse(program, options.error().message);
    return answer(options->request, program, help);
}

}  // namespace tools::command_line
