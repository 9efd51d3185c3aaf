#pragma once
// The sample scanner library's record in plain words, for people: each call with its
// arguments and result, each destination list block decoded entry by entry, and every overlap
// and malformed block called out on a line beginning "OVERLAP:" or "problem:".

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/scanner_sample_library/record_file.hpp"

namespace scanner_sample {

struct RecordText {
    std::string text;
    int overlaps = 0;
    int problems = 0;  // malformed blocks and lines that are no known call
};

RecordText describe_record(std::span<const RecordedCall> calls);

// The lines that describe a destination list block given with this entry count.
std::vector<std::string> describe_block(std::span<const std::uint8_t> block, std::int64_t count,
                                        int& problems);

// Windows Latin-1 bytes as UTF-8 text; bytes that have no character, and control characters,
// as \xNN.
std::string windows_latin1_text(std::span<const std::uint8_t> bytes);

}  // namespace scanner_sample
