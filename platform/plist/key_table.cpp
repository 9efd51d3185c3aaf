#include "platform/plist/key_table.hpp"

#include <algorithm>

namespace platform::plist {

namespace {

constexpr std::size_t buckets = 4096;
// libplist makes the table when a dictionary holds more than 500 nodes, keys and values.
constexpr std::size_t entries_before_table = 250;

}  // namespace

std::uint16_t key_bucket(std::string_view key) {
    std::uint32_t hash = 5381;
    for (const char c : key) {
        if (c == '\0') break;
        // libplist adds each byte as a (signed) char.
        hash = hash * 33 + static_cast<std::uint32_t>(static_cast<signed char>(c));
    }
    return static_cast<std::uint16_t>(hash & (buckets - 1));
}

std::uint64_t KeyTableCost::insert(std::optional<std::uint16_t> bucket) {
    const std::uint64_t walked = std::uint64_t{bucket ? chains_[*bucket] : fullest_} + unknown_;
    if (bucket) {
        fullest_ = std::max(fullest_, ++chains_[*bucket]);
    } else {
        ++unknown_;
    }
    return walked;
}

std::uint64_t KeyTableCost::set_key(std::optional<std::uint16_t> bucket) {
    if (chains_.empty()) {
        // Before the table, a key is looked for among at most entries_before_table others.
        first_.push_back(bucket);
        if (first_.size() <= entries_before_table) return 0;
        chains_.assign(buckets, 0);
        std::uint64_t work = 0;
        for (const auto& early : first_) work += insert(early);
        first_ = {};
        return work;
    }
    const std::uint64_t looked = std::uint64_t{bucket ? chains_[*bucket] : fullest_} + unknown_;
    return looked + insert(bucket);
}

std::uint64_t key_comparisons(const Value& value) {
    std::uint64_t work = 0;
    if (value.is(Type::Dictionary)) {
        KeyTableCost table;
        for (const auto& [key, item] : value.entries()) {
            work += table.set_key(key_bucket(key)) + key_comparisons(item);
        }
    } else {
        for (const auto& item : value.items()) work += key_comparisons(item);
    }
    return work;
}

}  // namespace platform::plist
