#include "platform/appevents/wire_form.hpp"

#include <cstdint>
#include <string>
#include <utility>

namespace platform::appevents {

namespace {

constexpr FourCharCode magic = four_char_code("aevt");
// Bytes of the header without the target's data, and of a parameter without its data.
constexpr std::size_t header_size = 4 + 4 + 4 + 2 + 4 + 4 + 4 + 4;
constexpr std::size_t parameter_head_size = 4 + 4 + 4;

class Writer {
public:
    explicit Writer(std::size_t size) { bytes_.reserve(size); }

    // First character first: the most significant byte.
    void code(FourCharCode value) {
        for (int shift = 24; shift >= 0; shift -= 8) put(value >> shift);
    }
    void u32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) put(value >> shift);
    }
    void i16(std::int16_t value) {
        const auto bits = static_cast<std::uint16_t>(value);
        put(bits);
        put(static_cast<std::uint32_t>(bits >> 8));
    }
    void descriptor(const Descriptor& descriptor) {
        code(descriptor.type());
        u32(static_cast<std::uint32_t>(descriptor.size()));
        bytes_.insert(bytes_.end(), descriptor.data().begin(), descriptor.data().end());
    }
    std::vector<std::byte> take() { return std::move(bytes_); }

private:
    void put(std::uint32_t low_byte) { bytes_.push_back(static_cast<std::byte>(low_byte & 0xFF)); }

    std::vector<std::byte> bytes_;
};

class Reader {
public:
    explicit Reader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    std::size_t left() const { return bytes_.size() - at_; }

    bool code(FourCharCode& value) {
        if (left() < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
        return true;
    }
    bool u32(std::uint32_t& value) {
        if (left() < 4) return false;
        value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= byte() << shift;
        return true;
    }
    bool i16(std::int16_t& value) {
        if (left() < 2) return false;
        const std::uint32_t low = byte();
        value = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (byte() << 8)));
        return true;
    }
    bool data(std::size_t size, std::span<const std::byte>& out) {
        if (left() < size) return false;
        out = bytes_.subspan(at_, size);
        at_ += size;
        return true;
    }

private:
    std::uint32_t byte() { return std::to_integer<std::uint32_t>(bytes_[at_++]); }

    std::span<const std::byte> bytes_;
    std::size_t at_ = 0;
};

Error malformed(const std::string& what) { return Error{"malformed event: " + what}; }

// Type, length and data of a descriptor; the caller has read what comes before.
Result<Descriptor> read_descriptor(Reader& in, const std::string& what) {
    FourCharCode type = 0;
    std::uint32_t length = 0;
    if (!in.code(type) || !in.u32(length)) return malformed(what + " ends early");
    std::span<const std::byte> data;
    if (!in.data(length, data)) {
        return malformed(what + " has " + std::to_string(length) + " bytes of data but only " +
                         std::to_string(in.left()) + " follow");
    }
    return Descriptor::create(type, data);
}

}  // namespace

std::vector<std::byte> encode_event(const Event& event) {
    std::size_t size = header_size + event.target().size();
    for (const auto& parameter : event.parameters()) {
        size += parameter_head_size + parameter.descriptor.size();
    }
    Writer out(size);
    out.code(magic);
    out.code(event.event_class());
    out.code(event.event_id());
    out.i16(event.return_id());
    out.u32(static_cast<std::uint32_t>(event.transaction_id()));
    out.descriptor(event.target());
    out.u32(static_cast<std::uint32_t>(event.parameters().size()));
    for (const auto& parameter : event.parameters()) {
        out.code(parameter.keyword);
        out.descriptor(parameter.descriptor);
    }
    return out.take();
}

Result<Event> decode_event(std::span<const std::byte> bytes) {
    Reader in(bytes);
    FourCharCode found_magic = 0;
    FourCharCode event_class = 0;
    FourCharCode event_id = 0;
    std::int16_t return_id = 0;
    std::uint32_t transaction_id = 0;
    if (!in.code(found_magic) || !in.code(event_class) || !in.code(event_id) ||
        !in.i16(return_id) || !in.u32(transaction_id)) {
        return malformed(std::to_string(bytes.size()) + " bytes are too few for a header");
    }
    if (found_magic != magic) return malformed("it does not begin with \"aevt\"");
    auto target = read_descriptor(in, "the target");
    if (!target) return target.error();
    Event event(event_class, event_id, std::move(target.value()), return_id,
                static_cast<std::int32_t>(transaction_id));

    std::uint32_t count = 0;
    if (!in.u32(count)) return malformed("the parameter count is missing");
    if (count > in.left() / parameter_head_size) {
        return malformed(std::to_string(count) + " parameters cannot fit in " +
                         std::to_string(in.left()) + " bytes");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string what = "parameter " + std::to_string(i + 1);
        FourCharCode keyword = 0;
        if (!in.code(keyword)) return malformed(what + " ends early");
        auto descriptor = read_descriptor(in, what + " " + code_text(keyword));
        if (!descriptor) return descriptor.error();
        if (event.parameter(keyword)) {
            return malformed("keyword " + code_text(keyword) + " is given twice");
        }
        event.put_parameter(keyword, std::move(descriptor.value()));
    }
    if (in.left() != 0) {
        return malformed(std::to_string(in.left()) + " bytes follow the last parameter");
    }
    return event;
}

Result<Descriptor> to_launch_parameters(const Event& event) {
    const auto bytes = encode_event(event);
    return Descriptor::create(type_app_parameters, bytes);
}

}  // namespace platform::appevents
