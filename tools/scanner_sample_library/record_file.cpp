#include "tools/scanner_sample_library/record_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/base/errno_text.hpp"
#include "platform/base/unique_fd.hpp"

namespace scanner_sample {

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> RecordedCall::field(std::string_view key) const {
    for (const auto& [candidate, value] : fields) {
        if (candidate == key) return value;
    }
    return std::nullopt;
}

std::optional<std::int64_t> RecordedCall::number(std::string_view key) const {
    const auto text = field(key);
    if (!text) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
}

std::vector<std::uint8_t> RecordedCall::block() const {
    const auto text = field("block");
    if (!text) return {};
    return parse_hex_bytes(*text).value_or(std::vector<std::uint8_t>());
}

std::string hex_bytes(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]);
        const int low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string format_line(const RecordedCall& call) {
    std::string line = call.name;
    for (const auto& [key, value] : call.fields) line += " " + key + "=" + value;
    return line + "\n";
}

std::optional<RecordedCall> parse_line(std::string_view line) {
    std::istringstream words{std::string(line)};
    RecordedCall call;
    if (!(words >> call.name)) return std::nullopt;
    std::string word;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals == std::string::npos || equals == 0) return std::nullopt;
        call.fields.emplace_back(word.substr(0, equals), word.substr(equals + 1));
    }
    return call;
}

platform::Result<void> append_call(const std::filesystem::path& record, const RecordedCall& call) {
    const platform::UniqueFd fd(
        ::open(record.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) return platform::Error{platform::errno_text("cannot open " + record.string(), errno)};
    const std::string line = format_line(call);
    const ssize_t written = ::write(fd.get(), line.data(), line.size());
    if (written != static_cast<ssize_t>(line.size())) {
        return platform::Error{"cannot write " + record.string()};
    }
    return {};
}

platform::Result<std::vector<RecordedCall>> read_record(const std::filesystem::path& record) {
    std::ifstream in(record, std::ios::binary);
    if (!in) return platform::Error{"cannot read " + record.string()};
    std::vector<RecordedCall> calls;
    std::string line;
    while (std::getline(in, line)) {
        if (auto call = parse_line(line)) calls.push_back(std::move(*call));
    }
    return calls;
}

}  // namespace scanner_sample
