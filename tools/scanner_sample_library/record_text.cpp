#include "tools/scanner_sample_library/record_text.hpp"

#include <array>
#include <cstdio>
#include <cstring>

#include "platform/base/text_encoding.hpp"

namespace scanner_sample {

namespace {

constexpr std::uint16_t list_header = 0xE404;
constexpr std::uint16_t empty_header = 0x0000;
constexpr std::size_t max_name_length = 15;

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// Code page 1252 read back through the platform's own conversion, so the two never disagree;
// 0 marks the bytes that have no character.
const std::array<char16_t, 256>& windows_latin1_units() {
    static const std::array<char16_t, 256> units = [] {
        std::array<char16_t, 256> table{};
        std::vector<std::uint8_t> byte;
        for (char32_t unit = 1; unit <= 0xFFFF; ++unit) {
            const char16_t one = static_cast<char16_t>(unit);
            byte.clear();
            if (platform::utf16_to_windows_latin1(std::u16string_view(&one, 1), byte) == 1) {
                table[byte[0]] = one;
            }
        }
        return table;
    }();
    return units;
}

std::string quoted(std::span<const std::uint8_t> name) {
    std::string text = "\"";
    for (const char c : windows_latin1_text(name)) {
        if (c == '"' || c == '\\') text += '\\';
        text += c;
    }
    return text + "\"";
}

std::string number_text(const RecordedCall& call, const char* key) {
    const auto value = call.field(key);
    return value ? *value : "?";
}

std::string argument_list(const RecordedCall& call) {
    const std::string handle = "device " + number_text(call, "handle");
    if (call.name == "EnableScannerEx") {
        return "vendor " + number_text(call, "vendor") + ", product " +
               number_text(call, "product");
    }
    if (call.name == "DeviceParameterSet") {
        const std::string count = number_text(call, "count");
        return handle + ", parameter " + number_text(call, "parameter") + ", " + count +
               (count == "1" ? " entry, " : " entries, ") + number_text(call, "length") + " bytes";
    }
    return handle;
}

std::string result_text(const RecordedCall& call) {
    if (call.name == "EnableScannerEx")
        return "returned device handle " + number_text(call, "result");
    std::string text = "returned " + number_text(call, "result");
    if (call.name == "ScanVersion") {
        text += ", bytes " + number_text(call, "version1") + ", " + number_text(call, "version2") +
                ", " + number_text(call, "flags");
        const auto flags = call.number("flags");
        if (call.number("result").value_or(0) == 0) {
            text += " (a failure: no destination list follows)";
        } else if (flags && (*flags & 1) != 0) {
            text += " (bit 0 of the third is set: the panel takes no list)";
        } else {
            text += " (bit 0 of the third is clear: the panel takes the list)";
        }
    }
    if (call.name == "DeviceParameterSet" && call.number("delay").value_or(0) > 0) {
        text += " after " + number_text(call, "delay") + " ms";
    }
    return text;
}

std::string origin(const RecordedCall& call) {
    return "  (pid " + number_text(call, "pid") + ", thread " + number_text(call, "thread") + ")";
}

bool known_call(const std::string& name) {
    return name == "EnableScannerEx" || name == "DisableScanner" || name == "ScanVersion" ||
           name == "DeviceParameterSet" || name == "EndNetworkScan";
}

}  // namespace

std::string windows_latin1_text(std::span<const std::uint8_t> bytes) {
    std::u16string units;
    std::string escapes;
    std::string text;
    for (const auto byte : bytes) {
        const char16_t unit = windows_latin1_units()[byte];
        if (unit < 0x20 || unit == 0x7F) {
            text += platform::utf16_to_utf8(units);
            units.clear();
            text += "\\x" + hex(byte, 2);
        } else {
            units += unit;
        }
    }
    return text + platform::utf16_to_utf8(units);
}

std::vector<std::string> describe_block(std::span<const std::uint8_t> block, std::int64_t count,
                                        int& problems) {
    std::vector<std::string> lines;
    auto problem = [&](const std::string& what) {
        lines.push_back("problem: " + what);
        ++problems;
    };
    if (block.size() < 2) {
        problem("the block has no header word");
        return lines;
    }
    std::uint16_t header = 0;
    std::memcpy(&header, block.data(), sizeof header);
    if (header == list_header) {
        lines.push_back("header 0xE404: a destination list");
    } else if (header == empty_header) {
        lines.push_back("header 0x0000: no destination list");
    } else {
        problem("header 0x" + hex(header, 4) + " is neither 0xE404 nor 0x0000");
    }

    std::int64_t entries = 0;
    std::size_t at = 2;
    while (at < block.size()) {
        ++entries;
        const std::string entry = "entry " + std::to_string(entries);
        if (block.size() - at < 2) {
            problem(entry + " has half a length word");
            return lines;
        }
        std::uint16_t length = 0;
        std::memcpy(&length, block.data() + at, sizeof length);
        at += 2;
        if (length > block.size() - at) {
            problem(entry + " claims " + std::to_string(length) + " bytes but only " +
                    std::to_string(block.size() - at) + " follow");
            return lines;
        }
        const auto name = block.subspan(at, length);
        at += length;
        lines.push_back(entry + ": " + (length == 0 ? "empty" : quoted(name)) + " (" +
                        std::to_string(length) + (length == 1 ? " byte)" : " bytes)"));
        if (length > max_name_length) problem(entry + " is longer than 15 bytes");
    }
    if (entries != count) {
        problem("the count says " + std::to_string(count) + " entries but the block holds " +
                std::to_string(entries));
    }
    if (header == empty_header && (entries != 1 || block.size() != 4)) {
        problem("the empty form is one entry of length 0");
    }
    return lines;
}

RecordText describe_record(std::span<const RecordedCall> calls) {
    RecordText out;
    int lists = 0;
    for (const auto& call : calls) {
        if (call.name == "Overlap") {
            ++out.overlaps;
            out.text += "OVERLAP: device " + number_text(call, "handle") +
                        " was enabled while device " + number_text(call, "enabled") +
                        " still was: an open-to-close sequence began inside another" +
                        origin(call) + "\n";
            continue;
        }
        if (!known_call(call.name)) {
            ++out.problems;
            out.text += "problem: \"" + call.name + "\" is no entry point of the library\n";
            continue;
        }
        out.text +=
            call.name + "(" + argument_list(call) + ") " + result_text(call) + origin(call) + "\n";
        if (call.name != "DeviceParameterSet") continue;
        ++lists;
        if (!call.field("block")) {
            out.text +=
                "    (the block was not recorded: no pointer, or a length outside 0 to 4096)\n";
            continue;
        }
        for (const auto& line :
             describe_block(call.block(), call.number("count").value_or(-1), out.problems)) {
            out.text += "    " + line + "\n";
        }
    }
    out.text += std::to_string(calls.size()) + (calls.size() == 1 ? " line, " : " lines, ") +
                std::to_string(lists) + " destination list" + (lists == 1 ? "" : "s") + ", " +
                std::to_string(out.overlaps) + " overlap" + (out.overlaps == 1 ? "" : "s") + ", " +
                std::to_string(out.problems) + " problem" + (out.problems == 1 ? "" : "s") + "\n";
    return out;
}

}  // namespace scanner_sample
