#include "tools/twain_sample_backend/backend_record.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/plist/describe.hpp"
#include "platform/plist/document.hpp"
#include "platform/plist/file_url.hpp"

namespace sample_backend {

namespace {

using platform::plist::IntegerKind;
using platform::plist::Type;
using platform::plist::Value;

// A TW_STRnn field: its text up to the NUL, never beyond the field.
template <std::size_t Size>
Value text(const char (&field)[Size]) {
    return Value::string(std::string(field, ::strnlen(field, Size)));
}

Value number(std::int64_t value) { return Value::integer(value); }

std::string kindName(const Value& value) {
    switch (value.type()) {
        case Type::String: return "string";
        case Type::Integer:
            switch (*value.integer_kind()) {
                case IntegerKind::SInt8: return "integer (8-bit)";
                case IntegerKind::SInt16: return "integer (16-bit)";
                case IntegerKind::SInt32: return "integer (32-bit)";
                case IntegerKind::SInt64: return "integer (64-bit)";
            }
            return "integer";
        case Type::Real: return "real";
        case Type::Boolean: return "boolean";
        case Type::Data: return "data";
        case Type::Date: return "date";
        case Type::Array: return "array";
        case Type::Dictionary: return "dictionary";
        case Type::FileUrl: return "file URL";
    }
    return "unknown";
}

int creations = 0;

}  // namespace

Value identityFields(const twain::TW_IDENTITY& identity) {
    return Value::dictionary({
        {"Id", number(identity.Id)},
        {"MajorNum", number(identity.Version.MajorNum)},
        {"MinorNum", number(identity.Version.MinorNum)},
        {"Language", number(identity.Version.Language)},
        {"Country", number(identity.Version.Country)},
        {"Info", text(identity.Version.Info)},
        {"ProtocolMajor", number(identity.ProtocolMajor)},
        {"ProtocolMinor", number(identity.ProtocolMinor)},
        {"SupportedGroups", number(identity.SupportedGroups)},
        {"Manufacturer", text(identity.Manufacturer)},
        {"ProductFamily", text(identity.ProductFamily)},
        {"ProductName", text(identity.ProductName)},
    });
}

Value storableCopy(const Value& value) {
    if (const auto* path = value.as_file_url()) {
        return Value::string(platform::plist::file_url_string(*path));
    }
    if (value.is(Type::Array)) {
        std::vector<Value> items;
        for (const auto& item : value.items()) items.push_back(storableCopy(item));
        return Value::array(std::move(items));
    }
    if (value.is(Type::Dictionary)) {
        Value copy = Value::dictionary();
        for (const auto& [key, item] : value.entries()) copy.set(key, storableCopy(item));
        return copy;
    }
    return value;
}

Value valueKinds(const Value& dictionary) {
    Value kinds = Value::dictionary();
    for (const auto& [key, item] : dictionary.entries())
        kinds.set(key, Value::string(kindName(item)));
    return kinds;
}

void recordCreation(const twain::TW_IDENTITY& identity, const Value& dictionary) {
    ++creations;
    const char* destination = std::getenv("VELMORA_SAMPLE_BACKEND_RECORD");
    if (!destination || !*destination) return;
    if (std::string(destination) == "-") {
        std::fprintf(
            stderr,
            "VelSampleBackend: created (%d in this process)\n  identity %s\n  dictionary %s\n",
            creations, platform::plist::describe(identityFields(identity)).c_str(),
            platform::plist::describe(dictionary).c_str());
        return;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&identity);
    const Value record = Value::dictionary({
        {"Creations", number(creations)},
        {"Identity", identityFields(identity)},
        {"IdentityBytes", Value::data(std::vector<std::uint8_t>(bytes, bytes + sizeof identity))},
        {"Dictionary", storableCopy(dictionary)},
        {"Kinds", valueKinds(dictionary)},
    });
    const auto xml = platform::plist::to_xml(record);
    if (!xml) return;
    std::ofstream(destination, std::ios::binary | std::ios::trunc) << *xml;
}

}  // namespace sample_backend
