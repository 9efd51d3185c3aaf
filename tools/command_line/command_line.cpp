#include "tools/command_line/command_line.hpp"

#include <getopt.h>

#include <cstdio>

#include "velmora/version.hpp"

namespace tools::command_line {

namespace {

// getopt_long answers a long option without a short form with this plus its index.
constexpr int kLongOnly = 256;
// The values getopt_long answers for a word that is no option ("-" first in the option string:
// operands come back in order, whatever POSIXLY_CORRECT says) and for a missing value (":").
constexpr int kOperand = 1;
constexpr int kMissingValue = ':';

const Option kHelp{"help", 'h', false};
const Option kVersion{"version", 'V', false};

int code_of(const Option& option, std::size_t index) {
    return option.letter != 0 ? option.letter : kLongOnly + static_cast<int>(index);
}

}  // namespace

platform::Result<Arguments> read(const std::vector<std::string>& arguments,
                                 std::span<const Option> options, const OptionHandler& handle) {
    std::vector<Option> table(options.begin(), options.end());
    table.push_back(kHelp);
    table.push_back(kVersion);

    std::string letters = "-:";
    std::vector<::option> long_options;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Option& option = table[i];
        if (option.letter != 0) {
            letters += option.letter;
            if (option.takes_value) letters += ':';
        }
        long_options.push_back({option.name, option.takes_value ? required_argument : no_argument,
                                nullptr, code_of(option, i)});
    }
    long_options.push_back({nullptr, 0, nullptr, 0});
    const auto index_of = [&](int code) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (code_of(table[i], i) == code) return i;
        }
        return std::nullopt;
    };

    // getopt_long takes writable words and a program name first.
    std::vector<std::string> words{"program"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    Arguments result;
    const std::size_t help = table.size() - 2;
    const std::size_t version = table.size() - 1;
    ::optind = 0;  // starts getopt_long afresh, whatever an earlier reading left
    ::opterr = 0;
    int code = 0;
    while ((code = ::getopt_long(argc, argv.data(), letters.c_str(), long_options.data(),
                                 nullptr)) != -1) {
        if (code == kOperand) {
            result.operands.emplace_back(::optarg);
            continue;
        }
        const bool refused = code == '?' || code == kMissingValue;
        const auto index = index_of(refused ? ::optopt : code);
        if (!index) {
            if (::optopt != 0) {
                return platform::Error{std::string("unknown option -") +
                                       static_cast<char>(::optopt)};
            }
            const std::string word = argv[static_cast<std::size_t>(::optind) - 1];
            return platform::Error{"unknown option " + word.substr(0, word.find('='))};
        }
        const Option& option = table[*index];
        const std::string name = std::string("--") + option.name;
        if (code == kMissingValue) return platform::Error{name + " needs a value"};
        // A known option refused is a long one given a value it does not take ("--help=x").
        if (code == '?') return platform::Error{name + " takes no value"};
        if (*index == help) {
            result.request = Request::Help;
        } else if (*index == version) {
            if (result.request == Request::Run) result.request = Request::Version;
        } else {
            const std::string value = ::optarg ? ::optarg : "";
            if (option.takes_value && value.empty())
                return platform::Error{name + " needs a value"};
            if (auto taken = handle(*index, value); !taken) return taken.error();
        }
    }
    for (int i = ::optind; i < argc; ++i)
        result.operands.emplace_back(argv[static_cast<std::size_t>(i)]);
    return result;
}

std::string version_text(std::string_view program) {
    return std::string(program) + " (Velmora scanner software) " + velmora::version + "\n";
}

int refuse(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%.*s: %.*s (see --help)\n", static_cast<int>(program.size()),
                 program.data(), static_cast<int>(message.size()), message.data());
    return 2;
}

std::optional<int> answer(Request request, std::string_view program, std::string_view help) {
    switch (request) {
        case Request::Run: return std::nullopt;
        case Request::Help: std::fwrite(help.data(), 1, help.size(), stdout); return 0;
        case Request::Version: std::fputs(version_text(program).c_str(), stdout); return 0;
    }
    return std::nullopt;
}

}  // namespace tools::command_line
