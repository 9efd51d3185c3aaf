#include "platform/usb/hid_report_descriptor.hpp"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

namespace platform::usb {

namespace {

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2, kReserved = 3 };

enum MainTag : std::uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC,
};

enum GlobalTag : std::uint8_t {
    kUsagePage = 0x0,
    kLogicalMinimum = 0x1,
    kLogicalMaximum = 0x2,
    kPhysicalMinimum = 0x3,
    kPhysicalMaximum = 0x4,
    kUnitExponent = 0x5,
    kUnit = 0x6,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB,
};

enum LocalTag : std::uint8_t { kUsage = 0x0, kUsageMinimum = 0x1, kUsageMaximum = 0x2 };

constexpr std::uint8_t kLongItemPrefix = 0xFE;

// An item's data as read: unsigned, with its size in bytes (0, 1, 2 or 4).
struct ItemData {
    std::uint32_t raw = 0;
    std::uint8_t size = 0;

    std::int64_t as_signed() const {
        switch (size) {
            case 1: return static_cast<std::int8_t>(raw);
            case 2: return static_cast<std::int16_t>(raw);
            case 4: return static_cast<std::int32_t>(raw);
            default: return 0;
        }
    }
};

struct Globals {
    std::uint16_t usage_page = 0;
    std::int64_t logical_minimum = 0;
    ItemData logical_maximum;
    std::int64_t physical_minimum = 0;
    ItemData physical_maximum;
    std::int32_t unit_exponent = 0;
    std::uint32_t unit = 0;
    std::uint32_t report_size = 0;
    std::uint32_t report_count = 0;
    std::uint8_t report_id = 0;
};

// A usage as declared: 1- and 2-byte usages wait for the page in effect at the Main item.
struct DeclaredUsage {
    std::uint32_t value = 0;
    bool has_page = false;

    std::uint32_t complete(std::uint16_t page) const {
        return has_page ? value : hid_usage(page, static_cast<std::uint16_t>(value));
    }
};

struct DeclaredRange {
    DeclaredUsage first;
    DeclaredUsage last;
};

struct Locals {
    std::vector<DeclaredRange> usages;
    std::optional<DeclaredUsage> minimum;
    std::optional<DeclaredUsage> maximum;
};

// A maximum is signed only when its minimum is negative (see HidField).
std::int64_t range_maximum(std::int64_t minimum, const ItemData& maximum) {
    return minimum < 0 ? maximum.as_signed() : std::int64_t{maximum.raw};
}

Error error_at(std::size_t offset, const std::string& what) {
    return Error{"HID report descriptor, byte " + std::to_string(offset) + ": " + what, -1};
}

}  // namespace

class HidDescriptorParser {
public:
    explicit HidDescriptorParser(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    Result<HidReportDescriptor> run() {
        std::size_t pos = 0;
        while (pos < bytes_.size()) {
            const std::uint8_t prefix = bytes_[pos];
            if (prefix == kLongItemPrefix) {
                // bDataSize, bLongItemTag, then the data: no long items are defined, skip them.
                if (pos + 2 >= bytes_.size()) return error_at(pos, "truncated long item");
                const std::size_t length = 3 + std::size_t{bytes_[pos + 1]};
                if (bytes_.size() - pos < length) return error_at(pos, "truncated long item");
                pos += length;
                continue;
            }
            const std::uint8_t size_code = prefix & 0x3;
            const std::uint8_t data_size = size_code == 3 ? 4 : size_code;
            if (bytes_.size() - pos - 1 < data_size) return error_at(pos, "truncated item");
            ItemData data{0, data_size};
            for (std::uint8_t i = 0; i < data_size; ++i) {
                data.raw |= std::uint32_t{bytes_[pos + 1 + i]} << (8 * i);
            }
            offset_ = pos;
            const auto type = static_cast<ItemType>((prefix >> 2) & 0x3);
            const auto tag = static_cast<std::uint8_t>(prefix >> 4);
            Result<void> handled;
            switch (type) {
                case kMain: handled = main_item(tag, data); break;
                case kGlobal: handled = global_item(tag, data); break;
                case kLocal: local_item(tag, data); break;
                case kReserved: break;
            }
            if (!handled) return handled.error();
            pos += 1 + std::size_t{data_size};
        }
        if (!open_collections_.empty()) {
            return error_at(bytes_.size(), "collection left open at the end");
        }
        return std::move(result_);
    }

private:
    Result<void> main_item(std::uint8_t tag, const ItemData& data) {
        Result<void> done;
        switch (tag) {
            case kInput: done = add_field(HidReportType::Input, data.raw); break;
            case kOutput: done = add_field(HidReportType::Output, data.raw); break;
            case kFeature: done = add_field(HidReportType::Feature, data.raw); break;
            case kCollection: done = open_collection(static_cast<std::uint8_t>(data.raw)); break;
            case kEndCollection:
                if (open_collections_.empty()) {
                    done = error_at(offset_, "End Collection without Collection");
                } else {
                    open_collections_.pop_back();
                }
                break;
            default: break;  // reserved main tags
        }
        locals_ = Locals{};  // local items last until the next Main item
        return done;
    }

    Result<void> global_item(std::uint8_t tag, const ItemData& data) {
        switch (tag) {
            case kUsagePage: globals_.usage_page = static_cast<std::uint16_t>(data.raw); break;
            case kLogicalMinimum: globals_.logical_minimum = data.as_signed(); break;
            case kLogicalMaximum: globals_.logical_maximum = data; break;
            case kPhysicalMinimum: globals_.physical_minimum = data.as_signed(); break;
            case kPhysicalMaximum: globals_.physical_maximum = data; break;
            case kUnitExponent:
                // Written as a 4-bit two's-complement nibble; larger items are plain signed.
                globals_.unit_exponent = data.raw <= 0xF
                                             ? static_cast<std::int32_t>(data.raw ^ 0x8) - 0x8
                                             : static_cast<std::int32_t>(data.as_signed());
                break;
            case kUnit: globals_.unit = data.raw; break;
            case kReportSize:
                if (data.raw > kHidMaxReportSize) {
                    return error_at(offset_,
                                    "Report Size over " + std::to_string(kHidMaxReportSize));
                }
                globals_.report_size = data.raw;
                break;
            case kReportId:
                if (data.raw == 0 || data.raw > 0xFF) {
                    return error_at(offset_, "Report ID out of 1..255");
                }
                globals_.report_id = static_cast<std::uint8_t>(data.raw);
                result_.uses_report_ids_ = true;
                break;
            case kReportCount: globals_.report_count = data.raw; break;
            case kPush:
                if (global_stack_.size() >= kHidMaxGlobalStackDepth) {
                    return error_at(offset_, "Push nested too deep");
                }
                global_stack_.push_back(globals_);
                break;
            case kPop:
                if (global_stack_.empty()) return error_at(offset_, "Pop without Push");
                globals_ = global_stack_.back();
                global_stack_.pop_back();
                break;
            default: break;  // reserved global tags
        }
        return {};
    }

    void local_item(std::uint8_t tag, const ItemData& data) {
        const DeclaredUsage usage{data.raw, data.size == 4};
        switch (tag) {
            case kUsage: locals_.usages.push_back({usage, usage}); break;
            case kUsageMinimum: locals_.minimum = usage; break;
            case kUsageMaximum: locals_.maximum = usage; break;
            default: return;  // designators, strings, delimiters: not used
        }
        if (locals_.minimum && locals_.maximum) {
            locals_.usages.push_back({*locals_.minimum, *locals_.maximum});
            locals_.minimum.reset();
            locals_.maximum.reset();
        }
    }

    // The declared usages with their pages, in order. A lone Usage Minimum or Maximum counts
    // as one usage; a range whose ends lie on two pages stays on the page of its first usage;
    // a reversed range declares nothing.
    std::vector<HidUsageRange> complete_usages() const {
        std::vector<DeclaredRange> declared = locals_.usages;
        for (const auto& lone : {locals_.minimum, locals_.maximum}) {
            if (lone) declared.push_back({*lone, *lone});
        }
        std::vector<HidUsageRange> usages;
        usages.reserve(declared.size());
        for (const auto& range : declared) {
            const std::uint32_t first = range.first.complete(globals_.usage_page);
            const std::uint32_t last = hid_usage(
                hid_usage_page(first), hid_usage_id(range.last.complete(globals_.usage_page)));
            if (first <= last) usages.push_back({first, last});
        }
        return usages;
    }

    Result<void> open_collection(std::uint8_t type) {
        if (open_collections_.size() >= kHidMaxCollectionDepth) {
            return error_at(offset_, "collections nested too deep");
        }
        auto cookie = next_cookies(1);
        if (!cookie) return cookie.error();
        const auto usages = complete_usages();
        HidCollection collection;
        collection.cookie = *cookie;
        collection.type = type;
        collection.usage = usages.empty() ? 0 : usages.front().first;
        collection.parent = current_collection();
        open_collections_.push_back(static_cast<std::int32_t>(result_.collections_.size()));
        result_.collections_.push_back(collection);
        return {};
    }

    Result<void> add_field(HidReportType type, std::uint32_t flags) {
        HidField field;
        field.type = type;
        field.report_id = globals_.report_id;
        field.flags = flags;
        field.report_size = globals_.report_size;
        field.report_count = globals_.report_count;
        field.logical_minimum = globals_.logical_minimum;
        field.logical_maximum = range_maximum(globals_.logical_minimum, globals_.logical_maximum);
        field.physical_minimum = globals_.physical_minimum;
        field.physical_maximum =
            range_maximum(globals_.physical_minimum, globals_.physical_maximum);
        field.unit_exponent = globals_.unit_exponent;
        field.unit = globals_.unit;
        field.usage_page = globals_.usage_page;
        field.usages = complete_usages();
        field.collection = current_collection();

        HidReportLayout& layout = layout_for(field.report_id);
        std::uint32_t& bits = layout.bits[static_cast<std::size_t>(type)];
        const std::uint64_t end =
            std::uint64_t{bits} + std::uint64_t{field.report_size} * field.report_count;
        if (end > std::uint64_t{kHidMaxReportDataBytes} * 8) {
            return error_at(
                offset_, "report longer than " + std::to_string(kHidMaxReportDataBytes) + " bytes");
        }
        field.bit_offset = bits;
        bits = static_cast<std::uint32_t>(end);

        if (!field.is_constant() && field.report_count > 0) {
            auto cookie = next_cookies(field.report_count);
            if (!cookie) return cookie.error();
            field.first_cookie = *cookie;
            result_.element_fields_.push_back(static_cast<std::uint32_t>(result_.fields_.size()));
        }
        result_.fields_.push_back(std::move(field));
        return {};
    }

    // Takes count consecutive cookies and gives the first.
    Result<std::uint32_t> next_cookies(std::uint32_t count) {
        if (count > kHidMaxElements - result_.element_count_) {
            return error_at(offset_, "more than " + std::to_string(kHidMaxElements) + " elements");
        }
        const std::uint32_t first = result_.element_count_ + 1;
        result_.element_count_ += count;
        return first;
    }

    HidReportLayout& layout_for(std::uint8_t id) {
        std::int16_t& index = result_.report_index_[id];
        if (index == 0) {
            result_.reports_.push_back(HidReportLayout{id, {}});
            index = static_cast<std::int16_t>(result_.reports_.size());
        }
        return result_.reports_[static_cast<std::size_t>(index - 1)];
    }

    std::int32_t current_collection() const {
        return open_collections_.empty() ? -1 : open_collections_.back();
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;  // of the item being handled, for error messages
    Globals globals_;
    std::vector<Globals> global_stack_;
    Locals locals_;
    std::vector<std::int32_t> open_collections_;
    HidReportDescriptor result_;
};

Result<HidReportDescriptor> HidReportDescriptor::parse(std::span<const std::uint8_t> bytes) {
    return HidDescriptorParser(bytes).run();
}

std::size_t HidReportDescriptor::report_length(HidReportType type, std::uint8_t id) const {
    const std::int16_t index = report_index_[id];
    if (index == 0) return 0;
    const std::uint32_t bits =
        reports_[static_cast<std::size_t>(index - 1)].bits[static_cast<std::size_t>(type)];
    if (bits == 0) return 0;
    return (std::size_t{bits} + 7) / 8 + (uses_report_ids_ ? 1 : 0);
}

std::optional<HidElementRef> HidReportDescriptor::find_element(std::uint32_t cookie) const {
    // Fields with elements, in cookie order: the last one starting at or before the cookie.
    auto it = std::upper_bound(
        element_fields_.begin(), element_fields_.end(), cookie,
        [this](std::uint32_t c, std::uint32_t field) { return c < fields_[field].first_cookie; });
    if (it == element_fields_.begin()) return std::nullopt;
    const HidField& field = fields_[*std::prev(it)];
    if (cookie - field.first_cookie >= field.report_count) return std::nullopt;
    return HidElementRef{&field, cookie - field.first_cookie};
}

std::uint64_t HidField::usage_count() const {
    std::uint64_t count = 0;
    for (const auto& range : usages) count += std::uint64_t{range.last} - range.first + 1;
    return count;
}

std::uint32_t HidField::usage_at(std::uint64_t index) const {
    for (const auto& range : usages) {
        const std::uint64_t span = std::uint64_t{range.last} - range.first + 1;
        if (index < span) return static_cast<std::uint32_t>(range.first + index);
        index -= span;
    }
    return 0;
}

std::uint32_t HidField::variable_usage(std::uint32_t index) const {
    if (usages.empty()) return hid_usage(usage_page, 0);
    const std::uint64_t count = usage_count();
    return usage_at(index < count ? index : count - 1);
}

}  // namespace platform::usb
