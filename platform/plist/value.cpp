#include "platform/plist/value.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <variant>

namespace platform::plist {

struct IntegerPayload {
    std::int64_t value;
    IntegerKind kind;
    friend bool operator==(const IntegerPayload&, const IntegerPayload&) = default;
};

struct Value::Node {
    using Payload =
        std::variant<std::string, IntegerPayload, double, bool, std::vector<std::uint8_t>, Date,
                     std::vector<Value>, std::vector<Entry>, std::filesystem::path>;
    Type type;
    Payload payload;
};

namespace {

std::int64_t narrow_to_kind(std::int64_t value, IntegerKind kind) {
    switch (kind) {
        case IntegerKind::SInt8: return static_cast<std::int8_t>(value);
        case IntegerKind::SInt16: return static_cast<std::int16_t>(value);
        case IntegerKind::SInt32: return static_cast<std::int32_t>(value);
        case IntegerKind::SInt64: return value;
    }
    return value;
}

std::int64_t clamp_real(double value) {
    if (std::isnan(value)) return 0;
    constexpr double low = static_cast<double>(std::numeric_limits<std::int64_t>::min());
    constexpr double high = static_cast<double>(std::numeric_limits<std::int64_t>::max());
    if (value <= low) return std::numeric_limits<std::int64_t>::min();
    if (value >= high) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(value);
}

}  // namespace

Value Value::string(std::string utf8) {
    return Value(std::make_shared<Node>(Node{Type::String, std::move(utf8)}));
}

Value Value::integer(std::int64_t value, IntegerKind kind) {
    return Value(std::make_shared<Node>(
        Node{Type::Integer, IntegerPayload{narrow_to_kind(value, kind), kind}}));
}

Value Value::real(double value) { return Value(std::make_shared<Node>(Node{Type::Real, value})); }

Value Value::boolean(bool value) {
    return Value(std::make_shared<Node>(Node{Type::Boolean, value}));
}

Value Value::data(std::vector<std::uint8_t> bytes) {
    return Value(std::make_shared<Node>(Node{Type::Data, std::move(bytes)}));
}

Value Value::date(Date when) { return Value(std::make_shared<Node>(Node{Type::Date, when})); }

Value Value::array(std::vector<Value> items) {
    std::erase_if(items, [](const Value& item) { return item.is_null(); });
    return Value(std::make_shared<Node>(Node{Type::Array, std::move(items)}));
}

Value Value::dictionary(std::vector<Entry> entries) {
    // The entries are set in turn: a later one of a key replaces the value in the first one's
    // place, and a null value removes the key. Keys are found through a hash table, so that a
    // large dictionary is made in linear time (setting them one by one searches all before each).
    std::vector<Entry> kept;
    kept.reserve(entries.size());  // never moves, so the views of its keys below hold
    std::vector<bool> removed;
    std::unordered_map<std::string_view, std::size_t> position;
    position.reserve(entries.size());
    for (auto& [key, value] : entries) {
        const auto found = position.find(key);
        if (found != position.end()) {
            if (value) {
                kept[found->second].second = std::move(value);
            } else {
                removed[found->second] = true;
                position.erase(found);
            }
        } else if (value) {
            kept.emplace_back(std::move(key), std::move(value));
            removed.push_back(false);
            position.emplace(kept.back().first, kept.size() - 1);
        }
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (removed[i]) continue;
        if (next != i) kept[next] = std::move(kept[i]);
        ++next;
    }
    kept.resize(next);
    return Value(std::make_shared<Node>(Node{Type::Dictionary, std::move(kept)}));
}

Value Value::file_url(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::path absolute =
        path.is_absolute() ? path : std::filesystem::absolute(path, ignored);
    return Value(std::make_shared<Node>(Node{Type::FileUrl, absolute.lexically_normal()}));
}

Type Value::type() const { return node_->type; }

bool Value::is(Type type) const noexcept { return node_ && node_->type == type; }

const std::string* Value::as_string() const {
    return is(Type::String) ? &std::get<std::string>(node_->payload) : nullptr;
}

std::optional<std::int64_t> Value::as_integer() const {
    if (!is(Type::Integer)) return std::nullopt;
    return std::get<IntegerPayload>(node_->payload).value;
}

std::optional<IntegerKind> Value::integer_kind() const {
    if (!is(Type::Integer)) return std::nullopt;
    return std::get<IntegerPayload>(node_->payload).kind;
}

std::optional<double> Value::as_real() const {
    if (!is(Type::Real)) return std::nullopt;
    return std::get<double>(node_->payload);
}

std::optional<bool> Value::as_boolean() const {
    if (!is(Type::Boolean)) return std::nullopt;
    return std::get<bool>(node_->payload);
}

const std::vector<std::uint8_t>* Value::as_data() const {
    return is(Type::Data) ? &std::get<std::vector<std::uint8_t>>(node_->payload) : nullptr;
}

std::optional<Date> Value::as_date() const {
    if (!is(Type::Date)) return std::nullopt;
    return std::get<Date>(node_->payload);
}

const std::filesystem::path* Value::as_file_url() const {
    return is(Type::FileUrl) ? &std::get<std::filesystem::path>(node_->payload) : nullptr;
}

std::optional<std::int64_t> Value::to_int64() const {
    if (!node_) return std::nullopt;
    switch (node_->type) {
        case Type::Integer: return std::get<IntegerPayload>(node_->payload).value;
        case Type::Real: return clamp_real(std::get<double>(node_->payload));
        case Type::Boolean: return std::get<bool>(node_->payload) ? 1 : 0;
        default: return std::nullopt;
    }
}

std::optional<std::int32_t> Value::to_int32() const {
    const auto wide = to_int64();
    if (!wide) return std::nullopt;
    return static_cast<std::int32_t>(*wide);
}

std::optional<double> Value::to_double() const {
    if (!node_) return std::nullopt;
    switch (node_->type) {
        case Type::Integer:
            return static_cast<double>(std::get<IntegerPayload>(node_->payload).value);
        case Type::Real: return std::get<double>(node_->payload);
        case Type::Boolean: return std::get<bool>(node_->payload) ? 1.0 : 0.0;
        default: return std::nullopt;
    }
}

std::optional<bool> Value::to_bool() const {
    if (is(Type::Real)) return std::get<double>(node_->payload) != 0.0;
    const auto number = to_int64();
    if (!number) return std::nullopt;
    return *number != 0;
}

std::size_t Value::size() const {
    if (is(Type::Array)) return std::get<std::vector<Value>>(node_->payload).size();
    if (is(Type::Dictionary)) return std::get<std::vector<Entry>>(node_->payload).size();
    return 0;
}

Value Value::at(std::size_t index) const {
    const auto list = items();
    return index < list.size() ? list[index] : Value();
}

std::span<const Value> Value::items() const {
    if (!is(Type::Array)) return {};
    return std::get<std::vector<Value>>(node_->payload);
}

std::vector<Value>* Value::mutable_items() {
    return is(Type::Array) ? &std::get<std::vector<Value>>(node_->payload) : nullptr;
}

std::vector<Entry>* Value::mutable_entries() {
    return is(Type::Dictionary) ? &std::get<std::vector<Entry>>(node_->payload) : nullptr;
}

void Value::append(Value item) {
    auto* list = mutable_items();
    if (list && item) list->push_back(std::move(item));
}

void Value::insert_at(std::size_t index, Value item) {
    auto* list = mutable_items();
    if (list && item && index <= list->size()) {
        list->insert(list->begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
    }
}

void Value::set_at(std::size_t index, Value item) {
    auto* list = mutable_items();
    if (list && item && index < list->size()) (*list)[index] = std::move(item);
}

void Value::remove_at(std::size_t index) {
    auto* list = mutable_items();
    if (list && index < list->size())
        list->erase(list->begin() + static_cast<std::ptrdiff_t>(index));
}

Value Value::get(std::string_view key) const {
    for (const auto& [name, value] : entries()) {
        if (name == key) return value;
    }
    return Value();
}

bool Value::contains(std::string_view key) const {
    for (const auto& entry : entries()) {
        if (entry.first == key) return true;
    }
    return false;
}

void Value::set(std::string_view key, Value value) {
    auto* map = mutable_entries();
    if (!map) return;
    if (!value) {
        remove(key);
        return;
    }
    for (auto& entry : *map) {
        if (entry.first == key) {
            entry.second = std::move(value);
            return;
        }
    }
    map->emplace_back(std::string(key), std::move(value));
}

void Value::remove(std::string_view key) {
    auto* map = mutable_entries();
    if (!map) return;
    std::erase_if(*map, [key](const Entry& entry) { return entry.first == key; });
}

std::span<const Entry> Value::entries() const {
    if (!is(Type::Dictionary)) return {};
    return std::get<std::vector<Entry>>(node_->payload);
}

bool operator==(const Value& a, const Value& b) {
    if (a.same_object(b)) return true;
    if (!a || !b) return false;
    const Type ta = a.type();
    const Type tb = b.type();
    const bool a_number = ta == Type::Integer || ta == Type::Real;
    const bool b_number = tb == Type::Integer || tb == Type::Real;
    if (a_number && b_number) {
        if (ta == Type::Integer && tb == Type::Integer) return *a.as_integer() == *b.as_integer();
        const double x = *a.to_double();
        const double y = *b.to_double();
        // An integer equals a real only when the real holds exactly that integer.
        if (ta == Type::Integer) return y == x && clamp_real(y) == *a.as_integer();
        if (tb == Type::Integer) return x == y && clamp_real(x) == *b.as_integer();
        return x == y;
    }
    if (ta != tb) return false;
    switch (ta) {
        case Type::Array: {
            const auto x = a.items();
            const auto y = b.items();
            return std::equal(x.begin(), x.end(), y.begin(), y.end());
        }
        case Type::Dictionary: {
            if (a.size() != b.size()) return false;
            for (const auto& [key, value] : a.entries()) {
                if (!(value == b.get(key)) || !b.contains(key)) return false;
            }
            return true;
        }
        default: return a.node_->payload == b.node_->payload;
    }
}

Value Value::deep_copy() const {
    if (!node_) return Value();
    switch (node_->type) {
        case Type::Array: {
            std::vector<Value> copies;
            copies.reserve(size());
            for (const auto& item : items()) copies.push_back(item.deep_copy());
            return Value::array(std::move(copies));
        }
        case Type::Dictionary: {
            std::vector<Entry> copies;
            copies.reserve(size());
            for (const auto& [key, value] : entries()) copies.emplace_back(key, value.deep_copy());
            return Value::dictionary(std::move(copies));
        }
        default: return Value(std::make_shared<Node>(*node_));
    }
}

}  // namespace platform::plist
