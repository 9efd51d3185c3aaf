#pragma once
// What libplist spends on the keys of its dictionaries. A dictionary of more than 250 entries
// gets a hash table of 4096 buckets, each a list, and setting a key compares it with every key in
// its bucket: once to look for it, once more to insert it. The bucket is the low 12 bits of a
// djb2 hash, so keys that share one are easily made, and they make reading (and writing) the
// dictionary quadratic: 10,000 of them, a 320 KB document, took libplist nearly a second to read.
// Documents whose dictionaries would cost more than max_key_comparisons are refused.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/plist/value.hpp"

namespace platform::plist {

// A few hundredths of a second of libplist's time; ordinary dictionaries of a hundred thousand
// keys cost a fifth of it.
inline constexpr std::uint64_t max_key_comparisons = std::uint64_t{1} << 24;

// libplist's bucket for a key: its bytes up to the first NUL.
std::uint16_t key_bucket(std::string_view key);

// One dictionary's table, counted as keys are set into it in turn.
class KeyTableCost {
public:
    // The comparisons setting the next key costs. A key whose bucket is not known is counted as
    // sharing the fullest one.
    std::uint64_t set_key(std::optional<std::uint16_t> bucket);

private:
    std::uint64_t insert(std::optional<std::uint16_t> bucket);

    std::vector<std::optional<std::uint16_t>> first_;  // until the table is made
    std::vector<std::uint32_t> chains_;                // keys per bucket, once it is
    std::uint32_t fullest_ = 0;
    std::uint32_t unknown_ = 0;
};

// The comparisons setting every key of every dictionary in the value costs, as writing the value
// through libplist does.
std::uint64_t key_comparisons(const Value& value);

}  // namespace platform::plist
