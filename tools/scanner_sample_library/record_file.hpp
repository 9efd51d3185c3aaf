#pragma once
// The sample scanner library's record: one line per call, appended as it happens, in a file
// that outlives the library's code (which the monitor unloads after every use). A line is the
// entry point's name followed by space-separated key=value fields, every value free of spaces:
//
//   EnableScannerEx pid=41 thread=41 vendor=7731 product=183 result=1
//   ScanVersion pid=41 thread=41 handle=1 version1=1 version2=0 flags=0 result=1
//   DeviceParameterSet pid=41 thread=41 handle=1 parameter=1 count=4 length=34
//       block=04e4040046696c65... delay=0 result=0                     (one line in the file)
//   EndNetworkScan pid=41 thread=41 handle=1 result=0
//   DisableScanner pid=41 thread=41 handle=1 result=0
//   Overlap pid=41 thread=52 handle=2 enabled=1
//
// "block" holds the destination list block as the library got it, in hex. "Overlap" is no
// call: it marks an EnableScannerEx that came while another device handle of the same process
// was still enabled, that is an open-to-close sequence that began inside another one.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/result.hpp"

namespace scanner_sample {

struct RecordedCall {
    std::string name;
    std::vector<std::pair<std::string, std::string>> fields;

    std::optional<std::string> field(std::string_view key) const;
    std::optional<std::int64_t> number(std::string_view key) const;
    // The "block" field's bytes; empty when it is missing or not hex.
    std::vector<std::uint8_t> block() const;
};

std::string hex_bytes(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text);

// The call's line, ending in a newline.
std::string format_line(const RecordedCall& call);
// A line's call; empty for a line that is not one (blank, no name, a field without "=").
std::optional<RecordedCall> parse_line(std::string_view line);

// Appends the call's line to the file with one write, so that lines of two threads or
// processes never mix.
platform::Result<void> append_call(const std::filesystem::path& record, const RecordedCall& call);
// Every call of the file, in order; lines that are not calls are skipped. A missing file is an
// error.
platform::Result<std::vector<RecordedCall>> read_record(const std::filesystem::path& record);

}  // namespace scanner_sample
