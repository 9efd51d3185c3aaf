#include "sane_backend/source/capability_container.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace sane_backend {

using namespace twain;

namespace {

bool is_integer_type(TW_UINT16 type) {
    return type == TWTY_INT8 || type == TWTY_INT16 || type == TWTY_INT32 || type == TWTY_UINT8 || type == TWTY_UINT16 ||
           type == TWTY_UINT32 || type == TWTY_BOOL;
}

template <class T>
T load(const std::uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <class T>
void store(std::uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

TW_FIX32 fix32(double value) { return to_fix32(value); }

void put_item(std::uint8_t* at, TW_UINT16 type, const Item& item) {
    switch (type) {
        case TWTY_INT8:
        case TWTY_UINT8: store(at, static_cast<std::uint8_t>(integer_of(item).value_or(0))); break;
        case TWTY_INT16:
        case TWTY_UINT16:
        case TWTY_BOOL: store(at, static_cast<std::uint16_t>(integer_of(item).value_or(0))); break;
        case TWTY_INT32:
        case TWTY_UINT32: store(at, static_cast<std::uint32_t>(integer_of(item).value_or(0))); break;
        case TWTY_FIX32: store(at, fix32(number_of(item).value_or(0))); break;
        case TWTY_FRAME: {
            const Frame frame = std::holds_alternative<Frame>(item) ? std::get<Frame>(item) : Frame{};
            const TW_FRAME bytes{fix32(frame.left), fix32(frame.top), fix32(frame.right), fix32(frame.bottom)};
            store(at, bytes);
            break;
        }
        default: break;
    }
}

std::optional<Item> get_item(const std::uint8_t* at, TW_UINT16 type) {
    switch (type) {
        case TWTY_INT8: return std::int64_t{load<std::int8_t>(at)};
        case TWTY_UINT8: return std::int64_t{load<std::uint8_t>(at)};
        case TWTY_INT16: return std::int64_t{load<std::int16_t>(at)};
        case TWTY_UINT16:
        case TWTY_BOOL: return std::int64_t{load<std::uint16_t>(at)};
        case TWTY_INT32: return std::int64_t{load<std::int32_t>(at)};
        case TWTY_UINT32: return std::int64_t{load<std::uint32_t>(at)};
        case TWTY_FIX32: return from_fix32(load<TW_FIX32>(at));
        case TWTY_FRAME: {
            const auto frame = load<TW_FRAME>(at);
            return Frame{from_fix32(frame.Left), from_fix32(frame.Top), from_fix32(frame.Right),
                         from_fix32(frame.Bottom)};
        }
        default: return std::nullopt;
    }
}

// The 32-bit field of a range: an integer as itself, a TW_FIX32 as its four bytes.
TW_UINT32 range_field(TW_UINT16 type, double value) {
    if (type == TWTY_FIX32) {
        TW_UINT32 bits;
        const TW_FIX32 number = fix32(value);
        std::memcpy(&bits, &number, 4);
        return bits;
    }
    return static_cast<TW_UINT32>(static_cast<std::int64_t>(std::llround(value)));
}

std::optional<Item> range_value(TW_UINT16 type, TW_UINT32 field) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &field, 4);
    if (type == TWTY_FIX32) return get_item(bytes, type);
    if (!is_integer_type(type)) return std::nullopt;
    // Range fields hold the value widened to 32 bits.
    if (type == TWTY_INT8 || type == TWTY_INT16 || type == TWTY_INT32)
        return std::int64_t{static_cast<std::int32_t>(field)};
    return std::int64_t{field};
}

}  // namespace

std::optional<std::int64_t> integer_of(const Item& item) {
    if (const auto* integer = std::get_if<std::int64_t>(&item)) return *integer;
    if (const auto* number = std::get_if<double>(&item)) {
        if (std::abs(*number - std::round(*number)) < 1e-6) return static_cast<std::int64_t>(std::llround(*number));
    }
    return std::nullopt;
}

std::optional<double> number_of(const Item& item) {
    if (const auto* integer = std::get_if<std::int64_t>(&item)) return static_cast<double>(*integer);
    if (const auto* number = std::get_if<double>(&item)) return *number;
    return std::nullopt;
}

Answer Answer::one(TW_UINT16 type, Item item) {
    Answer answer;
    answer.container = TWON_ONEVALUE;
    answer.item_type = type;
    answer.items.push_back(item);
    return answer;
}

Answer Answer::enumeration(TW_UINT16 type, std::vector<Item> items, std::size_t current, std::size_t default_index) {
    Answer answer;
    answer.container = TWON_ENUMERATION;
    answer.item_type = type;
    answer.items = std::move(items);
    answer.current = current;
    answer.default_index = default_index;
    return answer;
}

Answer Answer::array(TW_UINT16 type, std::vector<Item> items) {
    Answer answer;
    answer.container = TWON_ARRAY;
    answer.item_type = type;
    answer.items = std::move(items);
    return answer;
}

Answer Answer::range_of(TW_UINT16 type, double lowest, double highest, double step, double default_value,
                        double current) {
    Answer answer;
    answer.container = TWON_RANGE;
    answer.item_type = type;
    answer.range[0] = lowest;
    answer.range[1] = highest;
    answer.range[2] = step;
    answer.range[3] = default_value;
    answer.range[4] = current;
    return answer;
}

bool put_answer(const DsmLink& dsm, TW_CAPABILITY& capability, const Answer& answer) {
    const TW_UINT32 item = item_size(answer.item_type);
    std::size_t size = 0;
    switch (answer.container) {
        case TWON_ONEVALUE: size = offsetof(TW_ONEVALUE, Item) + std::max<std::size_t>(item, sizeof(TW_UINT32)); break;
        case TWON_ENUMERATION: size = offsetof(TW_ENUMERATION, ItemList) + item * answer.items.size(); break;
        case TWON_ARRAY: size = offsetof(TW_ARRAY, ItemList) + item * answer.items.size(); break;
        case TWON_RANGE: size = sizeof(TW_RANGE); break;
        default: return false;
    }
    const TW_HANDLE handle = dsm.allocate(static_cast<TW_UINT32>(size));
    auto* bytes = static_cast<std::uint8_t*>(dsm.lock(handle));
    if (!bytes) {
        dsm.free(handle);
        return false;
    }
    std::memset(bytes, 0, size);
    store(bytes, answer.item_type);  // ItemType leads every container
    switch (answer.container) {
        case TWON_ONEVALUE: put_item(bytes + offsetof(TW_ONEVALUE, Item), answer.item_type, answer.items.at(0)); break;
        case TWON_ENUMERATION:
            store(bytes + offsetof(TW_ENUMERATION, NumItems), static_cast<TW_UINT32>(answer.items.size()));
            store(bytes + offsetof(TW_ENUMERATION, CurrentIndex), static_cast<TW_UINT32>(answer.current));
            store(bytes + offsetof(TW_ENUMERATION, DefaultIndex), static_cast<TW_UINT32>(answer.default_index));
            for (std::size_t at = 0; at < answer.items.size(); ++at) {
                put_item(bytes + offsetof(TW_ENUMERATION, ItemList) + at * item, answer.item_type, answer.items[at]);
            }
            break;
        case TWON_ARRAY:
            store(bytes + offsetof(TW_ARRAY, NumItems), static_cast<TW_UINT32>(answer.items.size()));
            for (std::size_t at = 0; at < answer.items.size(); ++at) {
                put_item(bytes + offsetof(TW_ARRAY, ItemList) + at * item, answer.item_type, answer.items[at]);
            }
            break;
        case TWON_RANGE: {
            const std::size_t fields[5] = {offsetof(TW_RANGE, MinValue), offsetof(TW_RANGE, MaxValue),
                                           offsetof(TW_RANGE, StepSize), offsetof(TW_RANGE, DefaultValue),
                                           offsetof(TW_RANGE, CurrentValue)};
            for (int at = 0; at < 5; ++at) store(bytes + fields[at], range_field(answer.item_type, answer.range[at]));
            break;
        }
        default: break;
    }
    dsm.unlock(handle);
    capability.ConType = answer.container;
    capability.hContainer = handle;
    return true;
}

std::optional<Item> value_to_set(const DsmLink& dsm, const TW_CAPABILITY& capability) {
    const auto* bytes = static_cast<const std::uint8_t*>(dsm.lock(capability.hContainer));
    if (!bytes) return std::nullopt;
    const auto type = load<TW_UINT16>(bytes);
    std::optional<Item> value;
    switch (capability.ConType) {
        case TWON_ONEVALUE: value = get_item(bytes + offsetof(TW_ONEVALUE, Item), type); break;
        case TWON_ENUMERATION: {
            const auto count = load<TW_UINT32>(bytes + offsetof(TW_ENUMERATION, NumItems));
            const auto current = load<TW_UINT32>(bytes + offsetof(TW_ENUMERATION, CurrentIndex));
            if (current < count && item_size(type) > 0) {
                value = get_item(bytes + offsetof(TW_ENUMERATION, ItemList) + current * item_size(type), type);
            }
            break;
        }
        case TWON_RANGE: value = range_value(type, load<TW_UINT32>(bytes + offsetof(TW_RANGE, CurrentValue))); break;
        default: break;
    }
    dsm.unlock(capability.hContainer);
    return value;
}

}  // namespace sane_backend
