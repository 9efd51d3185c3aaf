#include "tools/scanner_sample_library/options.hpp"

#include <charconv>
#include <limits>

namespace scanner_sample {

const char* const help_text =
    R"(Usage: scanner-library-sample --make-bundle DIR [settings]
       scanner-library-sample --show-record FILE|BUNDLE

The sample scanner library, "7720ScannerLib.bundle", exports EnableScannerEx, DisableScanner,
ScanVersion, DeviceParameterSet and EndNetworkScan. It drives no device: it records every call
with its arguments and every destination list block as bytes, one line per call, appended to
its record file, which outlives the library's code. Device handles are 1, 2, 3, ... from each
load of the code. When a device is enabled while another handle is still enabled, it records
an overlap: an open-to-close sequence began inside another one.

  -b, --make-bundle DIR    lay the sample library out as the bundle DIR, with the settings
                           below (written to DIR/Contents/Resources/SampleSettings.plist, read
                           by the library at every call), then exit. The monitor looks for it
                           at /Library/Application Support/Velmora/7720 Series Scanner.bundle/
                           Contents/SharedSupport/7720ScannerLib.bundle
  -s, --show-record PATH   print the record in plain words: every call, every destination list
                           block entry by entry, overlaps and malformed blocks. PATH is the
                           record file, or a laid-out bundle whose record is meant
  -h, --help               show this text
  -V, --version            show the version

Settings for --make-bundle:
  --scan-version A,B,C         the three bytes ScanVersion fills (default 1,0,0); bit 0 of C set
                               makes the monitor send the empty destination list
  --scan-version-result N      what ScanVersion returns (default 1; 0 = failure, nothing is sent)
  --parameter-set-delay MS     milliseconds each DeviceParameterSet takes (default 0): a slow
                               device
  -r, --record-file PATH       where the library records (an absolute path as the monitor's
                               process sees it; default: 7720ScannerLib.record in the folder
                               that holds the bundle, that is beside it)

A value may also follow an "=": --make-bundle=DIR.

Exit status: 0 when done and, for --show-record, when the record shows no overlap and no
malformed block; 3 when it shows one; 1 when the record cannot be read or the bundle cannot be
laid out; 2 for a bad command line.
)";

namespace {

template <class Number>
std::optional<Number> parse_number(const std::string& text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::array<std::uint8_t, 3>> parse_three_bytes(const std::string& text) {
    std::array<std::uint8_t, 3> bytes{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t comma = text.find(',', start);
        if ((i + 1 < bytes.size()) == (comma == std::string::npos)) return std::nullopt;
        const auto byte = parse_number<unsigned>(text.substr(start, comma - start));
        if (!byte || *byte > 255) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(*byte);
        start = comma + 1;
    }
    return bytes;
}

}  // namespace

platform::Result<Options> parse_options(const std::vector<std::string>& arguments) {
    enum : std::size_t {
        MakeBundle,
        ShowRecord,
        ScanVersion,
        ScanVersionResult,
        ParameterSetDelay,
        RecordFile
    };
    static constexpr tools::command_line::Option table[] = {
        {"make-bundle", 'b', true},       {"show-record", 's', true},
        {"scan-version", 0, true},        {"scan-version-result", 0, true},
        {"parameter-set-delay", 0, true}, {"record-file", 'r', true},
    };
    Options options;
    auto read = tools::command_line::read(
        arguments, table,
        [&](std::size_t option, const std::string& value) -> platform::Result<void> {
            switch (option) {
                case MakeBundle: options.make_bundle = value; break;
                case ShowRecord: options.show_record = value; break;
                case ScanVersion: {
                    const auto bytes = parse_three_bytes(value);
                    if (!bytes)
                        return platform::Error{"--scan-version takes three bytes, such as 1,0,1"};
                    options.settings.scan_version_bytes = *bytes;
                    break;
                }
                case ScanVersionResult: {
                    const auto result = parse_number<std::int32_t>(value);
                    if (!result)
                        return platform::Error{"--scan-version-result takes a 32-bit integer"};
                    options.settings.scan_version_result = *result;
                    break;
                }
                case ParameterSetDelay: {
                    const auto delay = parse_number<unsigned>(value);
                    if (!delay || *delay > 60000) {
                        return platform::Error{"--parameter-set-delay takes 0 to 60000 ms"};
                    }
                    options.settings.parameter_set_delay = std::chrono::milliseconds(*delay);
                    break;
                }
                case RecordFile:
                    if (!std::filesystem::path(value).is_absolute()) {
                        return platform::Error{"--record-file takes an absolute path"};
                    }
                    options.settings.record_file = value;
                    break;
            }
            return {};
        });
    if (!read) return read.error();
    if (!read->operands.empty()) {
        return platform::Error{"unexpected argument " + read->operands.front()};
    }
    options.request = read->request;
    if (options.request == tools::command_line::Request::Run &&
        options.make_bundle.has_value() == options.show_record.has_value()) {
        return platform::Error{"give either --make-bundle or --show-record"};
    }
    return options;
}

}  // namespace scanner_sample
