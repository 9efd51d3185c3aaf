#include "monitor/hubprefs/name_compare.hpp"

#include <locale.h>
#include <wctype.h>

#include <cstring>
#include <string>
#include <vector>

namespace monitor {

namespace {

// Above every code point, so that a stray byte equals only the same stray byte.
constexpr char32_t StrayByte = 0x110000;

std::vector<char32_t> CodePoints(std::string_view text) {
    std::vector<char32_t> points;
    points.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
        char32_t point = length == 1   ? lead
                         : length == 2 ? lead & 0x1Fu
                         : length == 3 ? lead & 0x0Fu
                                       : lead & 0x07u;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
        const char32_t smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0;
        valid =
            valid && point >= smallest && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
        if (!valid) {
            points.push_back(StrayByte + lead);
            ++i;
            continue;
        }
        points.push_back(point);
        i += length;
    }
    return points;
}

// Case mappings of Unicode whatever the process's locale; null when the C library has none.
locale_t UnicodeCtype() {
    static const locale_t ctype = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return ctype;
}

char32_t Lower(char32_t point) {
    if (point >= StrayByte) return point;
    if (const locale_t ctype = UnicodeCtype()) {
        return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(point), ctype));
    }
    return point >= U'A' && point <= U'Z' ? point + (U'a' - U'A') : point;
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const auto x = CodePoints(a);
    const auto y = CodePoints(b);
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i] != y[i] && Lower(x[i]) != Lower(y[i])) return false;
    }
    return true;
}

bool CollatesBefore(std::string_view a, std::string_view b) {
    return ::strcoll(std::string(a).c_str(), std::string(b).c_str()) < 0;
}

}  // namespace monitor
