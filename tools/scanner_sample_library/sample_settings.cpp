#include "tools/scanner_sample_library/sample_settings.hpp"

#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "platform/plist/document.hpp"
#include "platform/plist/value.hpp"

namespace scanner_sample {

namespace {

using platform::plist::Value;

constexpr const char* scan_version_result_key = "ScanVersionResult";
constexpr const char* scan_version_bytes_key = "ScanVersionBytes";
constexpr const char* delay_key = "DeviceParameterSetDelay";
constexpr const char* record_file_key = "RecordFile";

std::optional<std::array<std::uint8_t, 3>> three_bytes(const Value& value) {
    if (value.size() != 3 || !value.is(platform::plist::Type::Array)) return std::nullopt;
    std::array<std::uint8_t, 3> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto number = value.at(i).as_integer();
        if (!number || *number < 0 || *number > 255) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(*number);
    }
    return bytes;
}

}  // namespace

Settings read_settings(const std::filesystem::path& bundle) {
    Settings settings;
    auto read = platform::plist::read_file(bundle / settings_file);
    if (!read) return settings;
    const Value& dictionary = *read;
    if (const auto result = dictionary.get(scan_version_result_key).as_integer();
        result && *result >= std::numeric_limits<std::int32_t>::min() &&
        *result <= std::numeric_limits<std::int32_t>::max()) {
        settings.scan_version_result = static_cast<std::int32_t>(*result);
    }
    if (const auto bytes = three_bytes(dictionary.get(scan_version_bytes_key))) {
        settings.scan_version_bytes = *bytes;
    }
    // At most a minute: a typing slip must not hang the monitor for ever.
    if (const auto delay = dictionary.get(delay_key).as_integer();
        delay && *delay >= 0 && *delay <= 60000) {
        settings.parameter_set_delay = std::chrono::milliseconds(*delay);
    }
    if (const auto* file = dictionary.get(record_file_key).as_string();
        file && std::filesystem::path(*file).is_absolute()) {
        settings.record_file = *file;
    }
    return settings;
}

platform::Result<void> write_settings(const std::filesystem::path& bundle,
                                      const Settings& settings) {
    std::vector<Value> bytes;
    for (const auto byte : settings.scan_version_bytes) bytes.push_back(Value::integer(byte));
    Value dictionary = Value::dictionary({
        {scan_version_result_key, Value::integer(settings.scan_version_result)},
        {scan_version_bytes_key, Value::array(std::move(bytes))},
        {delay_key, Value::integer(settings.parameter_set_delay.count())},
    });
    if (settings.record_file)
        dictionary.set(record_file_key, Value::string(settings.record_file->string()));
    auto xml = platform::plist::to_xml(dictionary);
    if (!xml) return xml.error();

    const auto path = bundle / settings_file;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error)
        return platform::Error{"cannot create " + path.parent_path().string() + ": " +
                               error.message()};
    // Renamed into place: the library reads the file at every call, never half of it.
    auto fresh = path;
    fresh += ".new";
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    out << *xml;
    out.close();
    if (out) std::filesystem::rename(fresh, path, error);
    if (!out || error) {
        std::filesystem::remove(fresh, error);
        return platform::Error{"cannot write " + path.string()};
    }
    return {};
}

std::filesystem::path record_path(const std::filesystem::path& bundle, const Settings& settings) {
    if (settings.record_file) return *settings.record_file;
    auto folder = bundle.lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();  // "x.bundle/"
    return folder.parent_path() / record_file_name;
}

}  // namespace scanner_sample
