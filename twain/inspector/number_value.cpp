#include "twain/inspector/number_value.hpp"

#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace twain {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSign(char c) { return c == '+' || c == '-'; }

std::string_view afterBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    return text;
}

// The end of the run of digits that starts at from.
std::size_t digitsEnd(std::string_view text, std::size_t from) {
    while (from < text.size() && isDigit(text[from])) ++from;
    return from;
}

std::int32_t leadingInteger(std::string_view text) {
    text = afterBlanks(text);
    bool negative = false;
    if (!text.empty() && isSign(text.front())) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                        : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (std::size_t i = 0; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), limit);
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

double leadingReal(std::string_view text) {
    text = afterBlanks(text);
    const std::size_t signEnd = !text.empty() && isSign(text.front()) ? 1 : 0;
    std::size_t end = digitsEnd(text, signEnd);
    bool hasDigits = end > signEnd;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fractionEnd = digitsEnd(text, end + 1);
        hasDigits = hasDigits || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!hasDigits) return 0.0;
    // An exponent counts only with digits of its own: "3e" is 3.
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < text.size() && isSign(text[exponent])) ++exponent;
        const std::size_t exponentEnd = digitsEnd(text, exponent);
        if (exponentEnd > exponent) end = exponentEnd;
    }
    // Read in the C locale: the host application's own may write reals with a comma. strtod
    // gives infinity past the range and 0 below it, as the framework does.
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    const std::string literal(text.substr(0, end));
    return ::strtod_l(literal.c_str(), nullptr, cLocale);
}

bool leadingFlag(std::string_view text) {
    text = afterBlanks(text);
    if (!text.empty() && isSign(text.front())) text.remove_prefix(1);
    while (!text.empty() && text.front() == '0') text.remove_prefix(1);
    if (text.empty()) return false;
    const char first = text.front();
    return first == 'Y' || first == 'y' || first == 'T' || first == 't' ||
           (first >= '1' && first <= '9');
}

}  // namespace

std::optional<std::int32_t> intValue(const platform::plist::Value& entry) {
    if (const auto* text = entry.as_string()) return leadingInteger(*text);
    return entry.to_int32();
}

std::optional<double> doubleValue(const platform::plist::Value& entry) {
    if (const auto* text = entry.as_string()) return leadingReal(*text);
    return entry.to_double();
}

std::optional<bool> boolValue(const platform::plist::Value& entry) {
    if (const auto* text = entry.as_string()) return leadingFlag(*text);
    return entry.to_bool();
}

}  // namespace twain
