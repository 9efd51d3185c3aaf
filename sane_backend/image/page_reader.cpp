#include "sane_backend/image/page_reader.hpp"

#include <algorithm>
#include <cstring>

namespace sane_backend {

namespace {

// Staging for lines that need converting: whole raw lines, about this many bytes.
constexpr std::size_t kStagingTarget = 256 * 1024;
// A blocking read that keeps answering "nothing yet" this often is taken for a dead device.
constexpr int kEmptyReadLimit = 1000000;

}  // namespace

std::unique_ptr<PageReader> PageReader::begin(SaneDevice& device, bool vanilla, SANE_Status& status) {
    SANE_Parameters frame{};
    status = device.parameters(frame);
    if (status != SANE_STATUS_GOOD) return nullptr;
    auto converter = LineConverter::for_frame(frame, vanilla);
    if (!converter) {
        status = SANE_STATUS_UNSUPPORTED;
        return nullptr;
    }
    auto reader = std::unique_ptr<PageReader>(new PageReader(device, *converter, vanilla));
    reader->last_frame_ = frame.last_frame == SANE_TRUE;
    return reader;
}

PageReader::PageReader(SaneDevice& device, LineConverter converter, bool vanilla)
    : device_(device), converter_(converter), vanilla_(vanilla), shape_(converter.shape()) {
    const std::size_t raw = converter_.raw_line_bytes();
    const bool direct = converter_.identity() && raw == converter_.line_bytes();
    staging_.resize(direct ? raw : raw * std::max<std::size_t>(1, kStagingTarget / raw));
}

SANE_Status PageReader::fill(std::uint8_t* into, std::size_t want, std::size_t& got) {
    got = 0;
    int empty_reads = 0;
    while (got < want) {
        std::size_t length = 0;
        const auto status = device_.read(into + got, want - got, length);
        got += std::min(length, want - got);
        if (status == SANE_STATUS_EOF) {
            frame_ended_ = true;
            return SANE_STATUS_EOF;
        }
        if (status != SANE_STATUS_GOOD) return status;
        if (length == 0 && ++empty_reads > kEmptyReadLimit) return SANE_STATUS_IO_ERROR;
    }
    return SANE_STATUS_GOOD;
}

SANE_Status PageReader::stage_line() {
    const std::size_t raw = converter_.raw_line_bytes();
    if (staged_end_ - staged_begin_ >= raw || frame_ended_) return SANE_STATUS_GOOD;
    if (staged_begin_ > 0) {
        std::memmove(staging_.data(), staging_.data() + staged_begin_, staged_end_ - staged_begin_);
        staged_end_ -= staged_begin_;
        staged_begin_ = 0;
    }
    std::size_t got = 0;
    const auto status = fill(staging_.data() + staged_end_, staging_.size() - staged_end_, got);
    staged_end_ += got;
    return status == SANE_STATUS_EOF ? SANE_STATUS_GOOD : status;
}

ReadOutcome PageReader::read(std::uint8_t* out, std::size_t max_lines) {
    if (done_ || max_lines == 0) return {};
    if (pending_ != SANE_STATUS_GOOD) {
        const auto status = pending_;
        pending_ = SANE_STATUS_GOOD;
        return {0, status};
    }
    if (three_pass()) {
        if (!is_gathered_) {
            const auto status = gather(nullptr, &gathered_);
            if (status != SANE_STATUS_GOOD) return {0, status};
            is_gathered_ = true;
        }
        const std::size_t line = shape_.line_bytes();
        const std::size_t count = std::min(max_lines, static_cast<std::size_t>(shape_.height) - delivered_);
        std::memcpy(out, gathered_.data() + delivered_ * line, count * line);
        delivered_ += count;
        if (delivered_ == static_cast<std::size_t>(shape_.height)) {
            done_ = true;
            std::vector<std::uint8_t>().swap(gathered_);
        }
        return {count, SANE_STATUS_GOOD};
    }
    return read_single(out, max_lines);
}

ReadOutcome PageReader::read_single(std::uint8_t* out, std::size_t max_lines) {
    const std::size_t line = converter_.line_bytes();
    const std::size_t raw = converter_.raw_line_bytes();
    const bool direct = converter_.identity() && raw == line;
    std::size_t limit = max_lines;
    if (shape_.height_known()) limit = std::min(limit, static_cast<std::size_t>(shape_.height) - delivered_);

    std::size_t count = 0;
    while (count < limit) {
        const std::size_t staged = staged_end_ - staged_begin_;
        std::uint8_t* target = out + count * line;
        if (frame_ended_ && staged < raw) {
            if (staged > 0) {
                // The device stopped inside a line: the rest of it is white.
                // SANE's line art has 0 as white, its grey and colour 0xff.
                std::vector<std::uint8_t> whole(raw, shape_.pixel_type == PixelType::BlackWhite ? 0x00 : 0xff);
                std::memcpy(whole.data(), staging_.data() + staged_begin_, staged);
                converter_.convert(whole.data(), target);
                staged_begin_ = staged_end_ = 0;
                ++count;
                continue;
            }
            if (delivered_ + count == 0) return {0, SANE_STATUS_EOF};
            if (!shape_.height_known()) break;
            converter_.fill_white(target);
            ++count;
            continue;
        }
        if (direct && staged == 0) {
            std::size_t got = 0;
            const auto status = fill(target, (limit - count) * line, got);
            count += got / line;
            if (const std::size_t rest = got % line) {
                std::memcpy(staging_.data(), out + count * line, rest);
                staged_begin_ = 0;
                staged_end_ = rest;
            }
            if (status != SANE_STATUS_GOOD && status != SANE_STATUS_EOF) {
                delivered_ += count;
                return {count, status};
            }
            continue;
        }
        const auto status = stage_line();
        if (status != SANE_STATUS_GOOD) {
            delivered_ += count;
            return {count, status};
        }
        if (staged_end_ - staged_begin_ >= raw) {
            converter_.convert(staging_.data() + staged_begin_, target);
            staged_begin_ += raw;
            ++count;
        }
    }
    delivered_ += count;

    if (shape_.height_known()) {
        if (delivered_ == static_cast<std::size_t>(shape_.height)) finish();
        return {count, SANE_STATUS_GOOD};
    }
    // Unknown height: look one line ahead, so that the last strip is known as such.
    if (staged_end_ - staged_begin_ < raw && !frame_ended_) {
        const auto status = stage_line();
        if (status != SANE_STATUS_GOOD) pending_ = status;
    }
    if (frame_ended_ && staged_end_ == staged_begin_ && pending_ == SANE_STATUS_GOOD) {
        shape_.height = static_cast<std::int32_t>(delivered_);
        done_ = true;
    }
    return {count, SANE_STATUS_GOOD};
}

SANE_Status PageReader::read_all(std::uint8_t* out) {
    if (!shape_.height_known()) return SANE_STATUS_INVAL;
    if (three_pass() && !is_gathered_) {
        const auto status = gather(out, nullptr);
        if (status != SANE_STATUS_GOOD) return status;
        delivered_ = static_cast<std::size_t>(shape_.height);
        done_ = true;
        return SANE_STATUS_GOOD;
    }
    const std::size_t line = shape_.line_bytes();
    while (!done_) {
        const auto outcome = read(out + delivered_ * line, static_cast<std::size_t>(shape_.height) - delivered_);
        if (outcome.status != SANE_STATUS_GOOD) return outcome.status;
    }
    return SANE_STATUS_GOOD;
}

SANE_Status PageReader::gather(std::uint8_t* image, std::vector<std::uint8_t>* growing) {
    const std::size_t line = shape_.line_bytes();
    const bool known = shape_.height_known();
    const std::size_t height = known ? static_cast<std::size_t>(shape_.height) : 0;
    // Lines (or channels of lines) a frame leaves out stay white.
    if (image) {
        std::memset(image, 0xff, height * line);
    } else {
        growing->assign(height * line, 0xff);
    }
    std::size_t longest = 0;
    for (;;) {
        const std::size_t raw = converter_.raw_line_bytes();
        std::size_t y = 0;
        for (;;) {
            const auto status = stage_line();
            if (status != SANE_STATUS_GOOD) return status;
            if (staged_end_ - staged_begin_ < raw) break;  // the frame ended
            if (!known && y * line >= growing->size()) growing->resize((y + 1) * line, 0xff);
            if (!known || y < height) {
                std::uint8_t* target = image ? image + y * line : growing->data() + y * line;
                converter_.convert(staging_.data() + staged_begin_, target);
            }
            staged_begin_ += raw;
            ++y;
        }
        if (y == 0) return SANE_STATUS_EOF;
        longest = std::max(longest, y);
        if (last_frame_) break;

        // The next colour is a scan of its own.
        frame_ended_ = false;
        staged_begin_ = staged_end_ = 0;
        auto status = device_.start();
        if (status != SANE_STATUS_GOOD) return status;
        SANE_Parameters frame{};
        status = device_.parameters(frame);
        if (status != SANE_STATUS_GOOD) return status;
        auto next = LineConverter::for_frame(frame, vanilla_);
        if (!next || !next->channel() || next->shape().width != shape_.width ||
            next->raw_line_bytes() > staging_.size()) {
            return SANE_STATUS_UNSUPPORTED;
        }
        converter_ = *next;
        last_frame_ = frame.last_frame == SANE_TRUE;
    }
    if (!known) {
        shape_.height = static_cast<std::int32_t>(longest);
        growing->resize(longest * line);
    }
    return SANE_STATUS_GOOD;
}

void PageReader::finish() {
    done_ = true;
    // The device may still owe its end of frame (or lines beyond those announced).
    while (!frame_ended_) {
        std::size_t got = 0;
        staged_begin_ = staged_end_ = 0;
        if (fill(staging_.data(), staging_.size(), got) != SANE_STATUS_GOOD) break;
    }
}

}  // namespace sane_backend
