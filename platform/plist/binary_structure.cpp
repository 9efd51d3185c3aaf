#include "platform/plist/binary_structure.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace platform::plist {

namespace {

constexpr std::size_t header_size = 8;  // "bplist00"
constexpr std::size_t trailer_size = 32;

class ObjectTable {
public:
    static std::optional<ObjectTable> read(std::span<const std::byte> document) {
        if (document.size() < header_size + trailer_size) return std::nullopt;
        if (std::memcmp(document.data(), "bplist00", header_size) != 0) return std::nullopt;
        ObjectTable table(document);
        const std::size_t trailer = document.size() - trailer_size;
        table.offset_size_ = static_cast<std::size_t>(document[trailer + 6]);
        table.ref_size_ = static_cast<std::size_t>(document[trailer + 7]);
        const auto count = table.big_endian(trailer + 8, 8);
        const auto top = table.big_endian(trailer + 16, 8);
        const auto offsets = table.big_endian(trailer + 24, 8);
        if (!count || !top || !offsets) return std::nullopt;
        if (table.offset_size_ < 1 || table.offset_size_ > 8) return std::nullopt;
        if (table.ref_size_ < 1 || table.ref_size_ > 8) return std::nullopt;
        // Every object takes at least one byte, so a larger count is a lie.
        if (*count == 0 || *count > document.size() || *top >= *count) return std::nullopt;
        if (*offsets >= document.size() ||
            (document.size() - *offsets) / table.offset_size_ < *count) {
            return std::nullopt;
        }
        table.count_ = static_cast<std::size_t>(*count);
        table.top_ = static_cast<std::size_t>(*top);
        table.offsets_ = static_cast<std::size_t>(*offsets);
        return table;
    }

    std::size_t count() const { return count_; }
    std::size_t top() const { return top_; }

    // The objects a container refers to (values, and keys of dictionaries); empty for other
    // objects and for containers that cannot be read.
    std::vector<std::size_t> children(std::size_t object) const {
        const auto offset = big_endian(offsets_ + object * offset_size_, offset_size_);
        if (!offset || *offset >= document_.size()) return {};
        std::size_t at = static_cast<std::size_t>(*offset);
        const auto marker = static_cast<std::uint8_t>(document_[at]);
        const unsigned kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD) return {};
        std::uint64_t entries = marker & 0x0F;
        ++at;
        if (entries == 0x0F) {
            if (at >= document_.size()) return {};
            const auto size_marker = static_cast<std::uint8_t>(document_[at]);
            if ((size_marker >> 4) != 0x1 || (size_marker & 0x0F) > 3) return {};
            const std::size_t width = std::size_t{1} << (size_marker & 0x0F);
            const auto wide = big_endian(at + 1, width);
            if (!wide) return {};
            entries = *wide;
            at += 1 + width;
        }
        const std::uint64_t refs = kind == 0xD ? entries * 2 : entries;
        if (entries > document_.size() || at > document_.size() ||
            (document_.size() - at) / ref_size_ < refs) {
            return {};
        }
        std::vector<std::size_t> found;
        found.reserve(static_cast<std::size_t>(refs));
        for (std::uint64_t i = 0; i < refs; ++i) {
            const auto ref = big_endian(at + static_cast<std::size_t>(i) * ref_size_, ref_size_);
            if (ref && *ref < count_) found.push_back(static_cast<std::size_t>(*ref));
        }
        return found;
    }

private:
    explicit ObjectTable(std::span<const std::byte> document) : document_(document) {}

    std::optional<std::uint64_t> big_endian(std::size_t at, std::size_t width) const {
        if (at > document_.size() || document_.size() - at < width) return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value = (value << 8) | static_cast<std::uint8_t>(document_[at + i]);
        }
        return value;
    }

    std::span<const std::byte> document_;
    std::size_t offset_size_ = 0;
    std::size_t ref_size_ = 0;
    std::size_t count_ = 0;
    std::size_t top_ = 0;
    std::size_t offsets_ = 0;
};

}  // namespace

Result<void> check_binary_structure(std::span<const std::byte> document, int nesting_limit) {
    const auto table = ObjectTable::read(document);
    if (!table) return {};
    const Error too_deep{"property list nested too deeply"};
    const Error too_large{"property list expands to too many values"};
    // Depth-first from the top object with an explicit stack. Each object is entered once and
    // remembers the deepest nesting below it and how many values it expands to, so an object
    // referred to many times costs nothing more to check.
    enum class State : std::uint8_t { Unseen, Open, Done };
    std::vector<State> state(table->count(), State::Unseen);
    std::vector<int> below(table->count(), 0);
    std::vector<std::uint64_t> values(table->count(), 1);
    struct Frame {
        std::size_t object;
        std::vector<std::size_t> children;
        std::size_t next = 0;
    };
    // Adds what a finished child contributes to its parent.
    auto take = [&](std::size_t parent, std::size_t child) {
        below[parent] = std::max(below[parent], below[child] + 1);
        values[parent] = std::min(values[parent] + values[child], max_expanded_values + 1);
    };
    std::vector<Frame> path;
    path.push_back({table->top(), table->children(table->top())});
    state[table->top()] = State::Open;
    while (!path.empty()) {
        if (static_cast<int>(path.size()) > nesting_limit + 1) return too_deep;
        Frame& frame = path.back();
        if (frame.next < frame.children.size()) {
            const std::size_t child = frame.children[frame.next++];
            if (state[child] == State::Open) return too_deep;  // a container inside itself
            if (state[child] == State::Done) {
                if (static_cast<int>(path.size()) + below[child] > nesting_limit) return too_deep;
                take(frame.object, child);
                if (values[frame.object] > max_expanded_values) return too_large;
                continue;
            }
            state[child] = State::Open;
            auto grandchildren = table->children(child);
            path.push_back({child, std::move(grandchildren)});
            continue;
        }
        const std::size_t finished = frame.object;
        state[finished] = State::Done;
        path.pop_back();
        if (!path.empty()) {
            take(path.back().object, finished);
            if (values[path.back().object] > max_expanded_values) return too_large;
        }
    }
    return {};
}

}  // namespace platform::plist
