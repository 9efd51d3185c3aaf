#include "twain/inspector/number_value.hpp"

#include <charconv>
#include <cmath>
#include <string>

namespace twain {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The number a string entry holds; empty unless the whole text is one finite decimal number.
std::optional<double> numberInString(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && isBlank(*begin)) ++begin;
    while (end != begin && isBlank(end[-1])) --end;
    if (begin != end && *begin == '+') ++begin;
    double number = 0;
    const auto [stop, error] = std::from_chars(begin, end, number);
    if (begin == end || error != std::errc{} || stop != end || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

// The entry as a number value: itself, or the real its string holds.
platform::plist::Value asNumber(const platform::plist::Value& entry) {
    if (const auto* text = entry.as_string()) {
        const auto number = numberInString(*text);
        return number ? platform::plist::Value::real(*number) : platform::plist::Value();
    }
    return entry;
}

}  // namespace

std::optional<std::int32_t> intValue(const platform::plist::Value& entry) {
    return asNumber(entry).to_int32();
}

std::optional<double> doubleValue(const platform::plist::Value& entry) {
    return asNumber(entry).to_double();
}

std::optional<bool> boolValue(const platform::plist::Value& entry) {
    return asNumber(entry).to_bool();
}

}  // namespace twain
