#include "platform/plist/document.hpp"

#include <plist/plist.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/base/regular_file.hpp"
#include "platform/plist/binary_structure.hpp"
#include "platform/plist/key_table.hpp"
#include "platform/plist/xml_structure.hpp"

namespace platform::plist {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct CFree {
    void operator()(void* memory) const {
        std::free(memory);
    }  // NOLINT: libplist hands out malloc'd memory
};
using CString = std::unique_ptr<char, CFree>;

// Called on trees whose depth nested_too_deeply() has checked.
Result<Value> from_node(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return Value::boolean(flag != 0);
        }
        case PLIST_UINT: {
            // libplist keeps every integer in 64 bits; negative ones as two's complement.
            std::uint64_t raw = 0;
            plist_get_uint_val(node, &raw);
            return Value::integer(static_cast<std::int64_t>(raw));
        }
        case PLIST_UID: {
            std::uint64_t raw = 0;
            plist_get_uid_val(node, &raw);
            return Value::integer(static_cast<std::int64_t>(raw));
        }
        case PLIST_REAL: {
            double real = 0;
            plist_get_real_val(node, &real);
            return Value::real(real);
        }
        case PLIST_STRING: {
            // Not plist_get_string_val: libplist asserts (aborting the process) when an XML
            // string holds a raw NUL byte, which no well-formed document does.
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            if (!text) return Value::string({});
            std::string copy(text, length);
            if (copy.find('\0') != std::string::npos)
                return Error{"a string holds a NUL character"};
            return Value::string(std::move(copy));
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
            if (!bytes) return Value::data({});
            return Value::data(std::vector<std::uint8_t>(begin, begin + length));
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0;
            std::int32_t micros = 0;
            plist_get_date_val(node, &seconds, &micros);
            return Value::date(
                Date{static_cast<double>(seconds) + static_cast<double>(micros) / 1e6});
        }
        case PLIST_ARRAY: {
            const std::uint32_t count = plist_array_get_size(node);
            std::vector<Value> items;
            items.reserve(count);
            for (std::uint32_t i = 0; i < count; ++i) {
                auto item = from_node(plist_array_get_item(node, i));
                if (!item) return item.error();
                items.push_back(std::move(item.value()));
            }
            return Value::array(std::move(items));
        }
        case PLIST_DICT: {
            std::vector<Entry> entries;
            entries.reserve(plist_dict_get_size(node));
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            const std::unique_ptr<void, CFree> iterator_owner(iterator);
            for (;;) {
                char* raw_key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iterator, &raw_key, &item);
                const CString key(raw_key);
                if (!item) break;
                auto value = from_node(item);
                if (!value) return value.error();
                entries.emplace_back(key ? key.get() : "", std::move(value.value()));
            }
            return Value::dictionary(std::move(entries));
        }
        default: return Error{"property list holds a value of an unknown kind"};
    }
}

// libplist takes keys and strings as C strings: the text after a NUL would be cut off
// silently, and two keys that differ only behind one would become one.
bool holds_nul(const std::string& text) { return text.find('\0') != std::string::npos; }

Result<PlistPtr> to_node(const Value& value, int depth) {
    if (!value) return Error{"a null value has no property-list form"};
    if (depth > max_nesting_depth) return Error{"property list nested too deeply"};
    switch (value.type()) {
        case Type::String: {
            const std::string& text = *value.as_string();
            if (holds_nul(text)) return Error{"a string holds a NUL character"};
            return PlistPtr(plist_new_string(text.c_str()));
        }
        case Type::Integer:
            return PlistPtr(plist_new_uint(static_cast<std::uint64_t>(*value.as_integer())));
        case Type::Real: return PlistPtr(plist_new_real(*value.as_real()));
        case Type::Boolean: return PlistPtr(plist_new_bool(*value.as_boolean() ? 1 : 0));
        case Type::Data: {
            const auto& bytes = *value.as_data();
            return PlistPtr(
                plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
        case Type::Date: {
            const double when = value.as_date()->seconds_since_2001;
            const double whole = std::floor(when);
            if (!(whole >= std::numeric_limits<std::int32_t>::min() &&
                  whole <= std::numeric_limits<std::int32_t>::max())) {
                return Error{"date out of the range a property list can hold"};
            }
            return PlistPtr(
                plist_new_date(static_cast<std::int32_t>(whole),
                               static_cast<std::int32_t>(std::lround((when - whole) * 1e6))));
        }
        case Type::Array: {
            PlistPtr array(plist_new_array());
            for (const auto& item : value.items()) {
                auto node = to_node(item, depth + 1);
                if (!node) return node.error();
                plist_array_append_item(array.get(), node.value().release());
            }
            return array;
        }
        case Type::Dictionary: {
            PlistPtr dictionary(plist_new_dict());
            for (const auto& [key, item] : value.entries()) {
                if (holds_nul(key)) return Error{"a key holds a NUL character"};
                auto node = to_node(item, depth + 1);
                if (!node) return node.error();
                plist_dict_set_item(dictionary.get(), key.c_str(), node.value().release());
            }
            return dictionary;
        }
        case Type::FileUrl: return Error{"a file URL has no property-list form"};
    }
    return Error{"unknown value type"};
}

// Before anything else walks the tree: libplist's own walks (its XML writer among them) recurse
// without a limit. The checks made before parsing keep such trees from being built at all; this
// one stands behind them. Only containers are visited, and dictionary keys are not asked for
// (see holds_nul_text).
bool nested_too_deeply(plist_t node, int depth) {
    if (depth > max_nesting_depth) return true;
    const plist_type type = plist_get_node_type(node);
    if (type == PLIST_ARRAY) {
        const std::uint32_t count = plist_array_get_size(node);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (nested_too_deeply(plist_array_get_item(node, i), depth + 1)) return true;
        }
    } else if (type == PLIST_DICT) {
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        const std::unique_ptr<void, CFree> iterator_owner(iterator);
        for (;;) {
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, nullptr, &item);
            if (!item) break;
            if (nested_too_deeply(item, depth + 1)) return true;
        }
    }
    return false;
}

// libplist aborts the process (a failed assertion) when asked for a key or string holding a NUL
// character, which malformed XML and binary documents can both produce. Its XML writer copies
// keys and strings whole, so such a tree is told by a NUL in its XML form, before any is read.
// Writing that form costs about as much as reading the document, so it is done only where such
// text can come from: a binary document, or an XML one holding a NUL byte (its reader refuses
// character references to NUL).
bool holds_nul_text(plist_t root) {
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    if (!xml) return true;
    const bool found = std::memchr(xml, '\0', length) != nullptr;
    plist_to_xml_free(xml);
    return found;
}

}  // namespace

Result<Value> parse(std::span<const std::byte> document) {
    if (document.empty()) return Error{"empty property list"};
    if (document.size() > std::numeric_limits<std::uint32_t>::max()) {
        return Error{"property list too large"};
    }
    // Before libplist reads it: its binary reader walks nesting and shared objects without
    // limits, and its XML reader builds a tree of any depth, which freeing then walks.
    const bool binary = document.size() >= 8 && std::memcmp(document.data(), "bplist00", 8) == 0;
    auto shape = binary ? check_binary_structure(document, max_nesting_depth)
                        : check_xml_structure(document, max_nesting_depth);
    if (!shape) return shape.error();
    plist_t root = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(document.data()),
                      static_cast<std::uint32_t>(document.size()), &root);
    const PlistPtr owner(root);
    if (!root) return Error{"malformed property list"};
    if (nested_too_deeply(root, 0)) return Error{"property list nested too deeply"};
    const bool may_hold_nul = binary || std::memchr(document.data(), 0, document.size()) != nullptr;
    if (may_hold_nul && holds_nul_text(root)) return Error{"a key or string holds a NUL character"};
    auto value = from_node(root);
    // libplist's binary reader takes keys without its hash table, but writing them back would
    // not (the XML check above has counted them already).
    if (value && binary && key_comparisons(*value) > max_key_comparisons) {
        return Error{"property list keys would take too long to write"};
    }
    return value;
}

Result<Value> parse(std::string_view document) {
    return parse(std::as_bytes(std::span(document.data(), document.size())));
}

Result<Value> read_file(const std::filesystem::path& path) {
    const auto contents = read_regular_file(path);
    if (!contents) return contents.error();
    auto value = parse(*contents);
    if (!value) return Error{path.string() + ": " + value.error().message};
    return value;
}

Result<std::string> to_xml(const Value& value) {
    auto node = to_node(value, 0);
    if (!node) return node.error();
    char* raw = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node.value().get(), &raw, &length);
    if (!raw) return Error{"libplist could not write the document"};
    std::string xml(raw, length);
    plist_to_xml_free(raw);
    return xml;
}

}  // namespace platform::plist
