#include "sane_backend/sane/sane_device.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace sane_backend {

namespace {

bool is_number(const SANE_Option_Descriptor& descriptor) {
    return (descriptor.type == SANE_TYPE_INT || descriptor.type == SANE_TYPE_FIXED) &&
           descriptor.size == static_cast<SANE_Int>(sizeof(SANE_Word));
}

double to_number(const SANE_Option_Descriptor& descriptor, SANE_Word word) {
    return descriptor.type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

SANE_Word to_word(const SANE_Option_Descriptor& descriptor, double value) {
    constexpr double limit = std::numeric_limits<SANE_Word>::max();
    if (descriptor.type == SANE_TYPE_FIXED) {
        const double bits = std::clamp(std::round(value * (1 << SANE_FIXED_SCALE_SHIFT)), -limit, limit);
        return static_cast<SANE_Word>(bits);
    }
    return static_cast<SANE_Word>(std::clamp(std::round(value), -limit, limit));
}

}  // namespace

std::unique_ptr<SaneDevice> SaneDevice::open(const std::string& name, SANE_Status& status) {
    SANE_Handle handle = nullptr;
    status = sane_open(name.c_str(), &handle);
    if (status != SANE_STATUS_GOOD || !handle) {
        if (status == SANE_STATUS_GOOD) status = SANE_STATUS_INVAL;
        return nullptr;
    }
    return std::unique_ptr<SaneDevice>(new SaneDevice(handle, name));
}

SaneDevice::~SaneDevice() {
    cancel();
    sane_close(handle_);
}

std::optional<SaneDevice::Found> SaneDevice::find(std::string_view option) const {
    const auto* count_descriptor = sane_get_option_descriptor(handle_, 0);
    SANE_Int count = 0;
    if (!count_descriptor ||
        sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    for (SANE_Int index = 1; index < count; ++index) {
        const auto* descriptor = sane_get_option_descriptor(handle_, index);
        if (descriptor && descriptor->name && option == descriptor->name && descriptor->type != SANE_TYPE_GROUP) {
            return Found{index, descriptor};
        }
    }
    return std::nullopt;
}

bool SaneDevice::has(std::string_view option) const { return find(option).has_value(); }

bool SaneDevice::active(std::string_view option) const {
    const auto found = find(option);
    return found && SANE_OPTION_IS_ACTIVE(found->descriptor->cap);
}

bool SaneDevice::settable(std::string_view option) const {
    const auto found = find(option);
    return found && SANE_OPTION_IS_ACTIVE(found->descriptor->cap) && SANE_OPTION_IS_SETTABLE(found->descriptor->cap);
}

SANE_Unit SaneDevice::unit(std::string_view option) const {
    const auto found = find(option);
    return found ? found->descriptor->unit : SANE_UNIT_NONE;
}

std::optional<double> SaneDevice::number(std::string_view option) const {
    const auto found = find(option);
    if (!found || !is_number(*found->descriptor) || !SANE_OPTION_IS_ACTIVE(found->descriptor->cap)) {
        return std::nullopt;
    }
    SANE_Word word = 0;
    if (sane_control_option(handle_, found->index, SANE_ACTION_GET_VALUE, &word, nullptr) != SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return to_number(*found->descriptor, word);
}

NumericConstraint SaneDevice::number_constraint(std::string_view option) const {
    const auto found = find(option);
    if (!found || !is_number(*found->descriptor)) return NumericConstraint::list({});
    const auto& descriptor = *found->descriptor;
    switch (descriptor.constraint_type) {
        case SANE_CONSTRAINT_RANGE:
            if (descriptor.constraint.range) {
                const auto& range = *descriptor.constraint.range;
                return NumericConstraint::range(to_number(descriptor, range.min), to_number(descriptor, range.max),
                                                to_number(descriptor, range.quant));
            }
            break;
        case SANE_CONSTRAINT_WORD_LIST:
            if (descriptor.constraint.word_list) {
                const SANE_Word* words = descriptor.constraint.word_list;
                std::vector<double> values;
                for (SANE_Word at = 1; at <= words[0]; ++at) values.push_back(to_number(descriptor, words[at]));
                return NumericConstraint::list(std::move(values));
            }
            break;
        default: break;
    }
    return NumericConstraint::any();
}

NumberSet SaneDevice::set_number(std::string_view option, double value) {
    const auto found = find(option);
    if (!found || !is_number(*found->descriptor)) return {};
    SANE_Word word = to_word(*found->descriptor, value);
    NumberSet outcome;
    outcome.status = sane_control_option(handle_, found->index, SANE_ACTION_SET_VALUE, &word, nullptr);
    outcome.value = number(option).value_or(value);
    return outcome;
}

std::optional<std::string> SaneDevice::string(std::string_view option) const {
    const auto found = find(option);
    if (!found || found->descriptor->type != SANE_TYPE_STRING || found->descriptor->size <= 0 ||
        !SANE_OPTION_IS_ACTIVE(found->descriptor->cap)) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(found->descriptor->size), '\0');
    if (sane_control_option(handle_, found->index, SANE_ACTION_GET_VALUE, text.data(), nullptr) != SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return text;
}

std::vector<std::string> SaneDevice::string_list(std::string_view option) const {
    std::vector<std::string> values;
    const auto found = find(option);
    if (!found || found->descriptor->type != SANE_TYPE_STRING ||
        found->descriptor->constraint_type != SANE_CONSTRAINT_STRING_LIST ||
        !found->descriptor->constraint.string_list) {
        return values;
    }
    for (const SANE_String_Const* entry = found->descriptor->constraint.string_list; *entry; ++entry) {
        values.emplace_back(*entry);
    }
    return values;
}

SANE_Status SaneDevice::set_string(std::string_view option, const std::string& value) {
    const auto found = find(option);
    if (!found || found->descriptor->type != SANE_TYPE_STRING || found->descriptor->size <= 0) {
        return SANE_STATUS_INVAL;
    }
    // The backend may read the whole declared size.
    std::string buffer = value;
    buffer.resize(std::max(buffer.size() + 1, static_cast<std::size_t>(found->descriptor->size)), '\0');
    return sane_control_option(handle_, found->index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
}

bool SaneDevice::responds() const {
    SANE_Int count = 0;
    return sane_get_option_descriptor(handle_, 0) &&
           sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) == SANE_STATUS_GOOD;
}

SANE_Status SaneDevice::start() {
    scan_threads_ = ScanThreads::before_start();
    started_ = std::chrono::steady_clock::now();
    const auto status = sane_start(handle_);
    // A failed start may still leave the backend mid-scan; cancel() tidies up either way.
    scanning_ = true;
    frame_bytes_ = 0;
    frame_read_ = 0;
    SANE_Parameters frame{};
    if (status == SANE_STATUS_GOOD && parameters(frame) == SANE_STATUS_GOOD && frame.lines > 0 &&
        frame.bytes_per_line > 0) {
        frame_bytes_ = static_cast<std::size_t>(frame.lines) * static_cast<std::size_t>(frame.bytes_per_line);
    }
    return status;
}

SANE_Status SaneDevice::parameters(SANE_Parameters& parameters) const {
    return sane_get_parameters(handle_, &parameters);
}

SANE_Status SaneDevice::read(std::uint8_t* buffer, std::size_t max_length, std::size_t& length) {
    constexpr std::size_t largest = static_cast<std::size_t>(std::numeric_limits<SANE_Int>::max());
    std::size_t ask = std::min(max_length, largest);
    if (frame_read_ < frame_bytes_) {
        const std::size_t left = frame_bytes_ - frame_read_;
        if (left > 1) {
            ask = std::min(ask, left - 1);
        } else if (threads_end_with_frames_ && !scan_threads_.wait_for_end(kThreadEndLimit)) {
            threads_end_with_frames_ = false;
        }
    }
    SANE_Int got = 0;
    const auto status = sane_read(handle_, buffer, static_cast<SANE_Int>(ask), &got);
    length = got > 0 ? static_cast<std::size_t>(got) : 0;
    frame_read_ += length;
    return status;
}

void SaneDevice::cancel() {
    if (!scanning_) return;
    std::this_thread::sleep_until(started_ + kCancelGrace);
    sane_cancel(handle_);
    scanning_ = false;
}

}  // namespace sane_backend
