#include "tools/scan_destination_standin/options.hpp"

namespace standin {

const char* const help_text =
    R"(Usage: scan-destination-standin [options]

A stand-in for the scan-destination application. It serves the application events of a
creator signature and prints each event it receives, decoded: class, ID, target, and every
parameter with its descriptor type and value (numbers, codes, bytes in hex, text quoted).

  -s, --signature CODE     the four-character signature to serve (default QH06)
  -p, --pid-file PATH      write the process ID there once serving; removed at an orderly exit
  -l, --log PATH           append what is printed to PATH instead of standard output
  -e, --launch-event PATH  read the launch event from PATH ("-" for standard input). Without
                           this option standard input is read when it is a regular file, which
                           is how an application launched from its bundle gets its launch
                           parameters.
  -b, --make-bundle DIR    lay DIR out as an application bundle (DIR/Contents/Info.plist and an
                           executable script in DIR/Contents/MacOS) that runs this program with
                           the --signature, --pid-file and --log given here, then exit
  -h, --help               show this text
  -V, --version            show the version

A value may also follow an "=": --signature=QH06.

The signature's socket is claimed before the launch event is read, so no event sent while it
starts is lost. When another instance serves the signature already, this one hands its launch
event to it and exits. Input that is no event (a truncated or oversized datagram, a malformed
event, an unknown descriptor type) is reported in one line beginning "error:" and serving goes
on. SIGTERM or SIGINT end it in an orderly way.

Exit status: 0 after an orderly end, a hand-over or --make-bundle; 1 when the signature cannot
be served or the bundle cannot be laid out; 2 for a bad command line.
)";

platform::Result<Options> parse_options(const std::vector<std::string>& arguments) {
    enum : std::size_t { Signature, PidFile, Log, LaunchEvent, MakeBundle };
    static constexpr tools::command_line::Option table[] = {
        {"signature", 's', true},    {"pid-file", 'p', true},    {"log", 'l', true},
        {"launch-event", 'e', true}, {"make-bundle", 'b', true},
    };
    Options options;
    auto read = tools::command_line::read(
        arguments, table,
        [&](std::size_t option, const std::string& value) -> platform::Result<void> {
            switch (option) {
                case Signature: {
                    auto code = platform::parse_four_char_code(value);
                    if (!code) {
                        return platform::Error{"a signature is four characters, not \"" + value +
                                               "\""};
                    }
                    options.signature = *code;
                    break;
                }
                case PidFile: options.pid_file = value; break;
                case Log: options.log = value; break;
                case LaunchEvent: options.launch_event = value; break;
                case MakeBundle: options.make_bundle = value; break;
            }
            return {};
        });
    if (!read) return read.error();
    if (!read->operands.empty()) {
        return platform::Error{"unexpected argument " + read->operands.front()};
    }
    options.request = read->request;
    return options;
}

std::vector<std::string> bundle_arguments(const Options& options) {
    std::vector<std::string> arguments{"--signature",
                                       platform::four_char_string(options.signature)};
    if (options.pid_file) {
        arguments.insert(arguments.end(),
                         {"--pid-file", std::filesystem::absolute(*options.pid_file).string()});
    }
    if (options.log) {
        arguments.insert(arguments.end(),
                         {"--log", std::filesystem::absolute(*options.log).string()});
    }
    return arguments;
}

}  // namespace standin
