#pragma once
// Property-list values: strings, integers that remember their kind, reals, booleans, data,
// dates, arrays, dictionaries, and file URLs.
//
// A Value is a handle, like a framework object reference: copying the handle shares the object,
// so an entry taken out of an array and put back is "that very object" (same_object), and a
// change made to a shared array or dictionary is seen through every handle. deep_copy() makes a
// new object tree. The null handle stands for "no value". Objects are not locked; a tree that
// two threads change needs the callers' own lock.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::plist {

enum class Type { String, Integer, Real, Boolean, Data, Date, Array, Dictionary, FileUrl };

// The width an integer was created with. The numbers are the framework's number type codes,
// which other programs of the scanner software use too (1 = signed 8-bit).
enum class IntegerKind : std::uint8_t { SInt8 = 1, SInt16 = 2, SInt32 = 3, SInt64 = 4 };

// A point in time as seconds since 2001-01-01 00:00:00 UTC, the property-list epoch.
struct Date {
    double seconds_since_2001 = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

class Value;
using Entry = std::pair<std::string, Value>;

class Value {
public:
    Value() noexcept = default;  // null

    static Value string(std::string utf8);
    // The value is narrowed to the kind as a two's-complement integer of that width, as a
    // framework number of that type would hold it: integer(200, SInt8) holds -56.
    static Value integer(std::int64_t value, IntegerKind kind = IntegerKind::SInt64);
    static Value real(double value);
    static Value boolean(bool value);
    static Value data(std::vector<std::uint8_t> bytes);
    static Value date(Date when);
    static Value array(std::vector<Value> items = {});
    static Value dictionary(std::vector<Entry> entries = {});
    // An absolute path; a relative one is made absolute against the working directory.
    static Value file_url(const std::filesystem::path& path);

    bool is_null() const noexcept { return !node_; }
    explicit operator bool() const noexcept { return static_cast<bool>(node_); }
    // Precondition: not null.
    Type type() const;
    bool is(Type type) const noexcept;

    // Exact-type access: empty (or null pointer) when the value is null or of another type.
    const std::string* as_string() const;
    std::optional<std::int64_t> as_integer() const;
    std::optional<IntegerKind> integer_kind() const;
    std::optional<double> as_real() const;
    std::optional<bool> as_boolean() const;
    const std::vector<std::uint8_t>* as_data() const;
    std::optional<Date> as_date() const;
    const std::filesystem::path* as_file_url() const;

    // Number access as a number object answers it: integers, reals and booleans all convert
    // (a real is cut toward zero and clamped, a boolean is 0 or 1); anything else is empty.
    std::optional<std::int64_t> to_int64() const;
    std::optional<std::int32_t> to_int32() const;  // the low 32 bits of to_int64, as C would
    std::optional<double> to_double() const;
    std::optional<bool> to_bool() const;  // non-zero is true

    // Arrays never hold null: a null item is not stored. Indexes out of range are ignored by the
    // changing operations and give null from at().
    std::size_t size() const;  // number of items of an array or entries of a dictionary, else 0
    Value at(std::size_t index) const;
    std::span<const Value> items() const;
    void append(Value item);
    void insert_at(std::size_t index, Value item);
    void set_at(std::size_t index, Value item);
    void remove_at(std::size_t index);
    // Reorders the items with a strict weak ordering.
    template <class Less>
    void sort(Less less);

    // Dictionaries keep their keys in the order they were first set.
    Value get(std::string_view key) const;  // null when absent or not a dictionary
    bool contains(std::string_view key) const;
    void set(std::string_view key, Value value);  // a null value removes the key
    void remove(std::string_view key);
    std::span<const Entry> entries() const;

    // Deep equality: same type and contents. Integers compare by value whatever their kind, and
    // an integer equals a real of the same value; two nulls are equal.
    friend bool operator==(const Value& a, const Value& b);
    // Identity: both handles share one object (two nulls are the same object).
    bool same_object(const Value& other) const noexcept { return node_ == other.node_; }
    // A new, independent object tree with equal contents.
    Value deep_copy() const;

private:
    struct Node;
    explicit Value(std::shared_ptr<Node> node) : node_(std::move(node)) {}
    std::vector<Value>* mutable_items();
    std::vector<Entry>* mutable_entries();

    std::shared_ptr<Node> node_;
};

template <class Less>
void Value::sort(Less less) {
    if (auto* list = mutable_items()) {
        std::stable_sort(list->begin(), list->end(), less);
    }
}

}  // namespace platform::plist
