// The image triplets of the data source: what the next image is, where it lies on the page, and
// the native, memory and file transfers.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "sane_backend/image/image_file.hpp"
#include "sane_backend/image/tiff_memory.hpp"
#include "sane_backend/source/data_source.hpp"
#include "sane_backend/source/sane_conditions.hpp"

namespace sane_backend {

using namespace twain;

namespace {

// Lines read at a time when they are gathered or written to a file: about this many bytes.
constexpr std::size_t kStripBytes = 1024 * 1024;

std::size_t strip_lines(std::size_t line_bytes) {
    return std::max<std::size_t>(1, kStripBytes / std::max<std::size_t>(1, line_bytes));
}

}  // namespace

std::optional<Reply> DataSource::refuse_transfer(TW_UINT16 mechanism) const {
    const bool continuing = mechanism == TWSX_MEMORY && state_ == 7 && transferring_;
    if (state_ != 6 && !continuing) return failure(TWCC_SEQERROR);
    if (capabilities_->transfer().mechanism != mechanism) return failure(TWCC_SEQERROR);
    if (page_error_ != SANE_STATUS_GOOD) return scan_failure(page_error_);
    if (!page_) return failure(TWCC_SEQERROR);
    return std::nullopt;
}

Reply DataSource::lose_page(SANE_Status status) {
    page_.reset();
    device_->cancel();
    transferring_ = false;
    const auto reply = scan_failure(status);
    // A cancelled transfer waits for MSG_ENDXFER in state 7; a failed one is back in state 6.
    state_ = reply.rc == TWRC_CANCEL ? 7 : 6;
    return reply;
}

Reply DataSource::image_info(TW_UINT16 message, TW_MEMREF pointer) {
    if (message != MSG_GET) return failure(TWCC_BADPROTOCOL);
    if (state_ != 6 && state_ != 7) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    ready_unseen_ = false;
    if (page_error_ != SANE_STATUS_GOOD) return scan_failure(page_error_);
    if (!page_) return failure(TWCC_SEQERROR);
    const auto& shape = page_->shape();
    auto& info = *static_cast<pTW_IMAGEINFO>(pointer);
    std::memset(&info, 0, sizeof info);
    info.XResolution = to_fix32(page_x_dpi_);
    info.YResolution = to_fix32(page_y_dpi_);
    info.ImageWidth = static_cast<TW_INT32>(shape.width);
    info.ImageLength = shape.height;
    info.SamplesPerPixel = static_cast<TW_INT16>(shape.samples_per_pixel());
    for (int sample = 0; sample < shape.samples_per_pixel(); ++sample) {
        info.BitsPerSample[sample] = static_cast<TW_INT16>(shape.bits_per_sample());
    }
    info.BitsPerPixel = static_cast<TW_INT16>(shape.bits_per_pixel);
    info.Planar = 0;
    info.PixelType = static_cast<TW_INT16>(shape.pixel_type);
    info.Compression = TWCP_NONE;
    return success();
}

Reply DataSource::image_layout(TW_UINT16 message, TW_MEMREF pointer) {
    const bool asking = message == MSG_GET || message == MSG_GETDEFAULT;
    const bool changing = message == MSG_SET || message == MSG_RESET;
    if (!asking && !changing) return failure(TWCC_BADPROTOCOL);
    if (state_ < 4 || state_ > 6 || (changing && state_ != 4)) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    auto& layout = *static_cast<pTW_IMAGELAYOUT>(pointer);
    Reply reply;
    if (message == MSG_SET) {
        reply = capabilities_->set_frame({from_fix32(layout.Frame.Left), from_fix32(layout.Frame.Top),
                                          from_fix32(layout.Frame.Right), from_fix32(layout.Frame.Bottom)});
        if (reply.rc == TWRC_FAILURE) return reply;
    } else if (message == MSG_RESET) {
        capabilities_->reset_frame();
    }
    const Frame frame = message == MSG_GETDEFAULT ? capabilities_->default_frame() : capabilities_->frame();
    layout.Frame = {to_fix32(frame.left), to_fix32(frame.top), to_fix32(frame.right), to_fix32(frame.bottom)};
    const bool numbered = state_ == 6 && message == MSG_GET;
    layout.DocumentNumber = numbered ? document_number_ : 0;
    layout.PageNumber = numbered ? page_number_ : 0;
    layout.FrameNumber = numbered ? 1 : 0;
    return reply;
}

Reply DataSource::native_transfer(TW_UINT16 message, TW_MEMREF pointer) {
    if (message != MSG_GET) return failure(TWCC_BADPROTOCOL);
    if (const auto refused = refuse_transfer(TWSX_NATIVE)) return *refused;
    if (!pointer) return failure(TWCC_BADVALUE);
    ready_unseen_ = false;

    // With the height known, the pixels go straight into the handle; otherwise they are gathered
    // first and copied in once the image has ended.
    std::vector<std::vector<std::uint8_t>> strips;
    if (!page_->shape().height_known()) {
        const std::size_t line = page_->shape().line_bytes();
        while (!page_->done()) {
            std::vector<std::uint8_t> strip(strip_lines(line) * line);
            const auto outcome = page_->read(strip.data(), strip_lines(line));
            if (outcome.status != SANE_STATUS_GOOD) return lose_page(outcome.status);
            strip.resize(outcome.lines * line);
            strips.push_back(std::move(strip));
        }
    }
    const auto shape = page_->shape();
    const auto size = tiff_file_size(shape);
    if (!size) return failure(TWCC_LOWMEMORY);
    const TW_HANDLE handle = dsm_.allocate(static_cast<TW_UINT32>(*size));
    auto* file = static_cast<std::uint8_t*>(dsm_.lock(handle));
    if (!file) {
        dsm_.free(handle);
        return failure(TWCC_LOWMEMORY);
    }
    if (strips.empty()) {
        const auto status = page_->read_all(file + kTiffPixelOffset);
        if (status != SANE_STATUS_GOOD) {
            dsm_.unlock(handle);
            dsm_.free(handle);
            return lose_page(status);
        }
    } else {
        std::uint8_t* at = file + kTiffPixelOffset;
        for (auto& strip : strips) {
            std::memcpy(at, strip.data(), strip.size());
            at += strip.size();
            std::vector<std::uint8_t>().swap(strip);
        }
    }
    write_tiff_frame(file, page_->shape(), page_x_dpi_, page_y_dpi_);
    dsm_.unlock(handle);
    *static_cast<TW_HANDLE*>(pointer) = handle;
    state_ = 7;
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

Reply DataSource::memory_transfer(TW_UINT16 message, TW_MEMREF pointer) {
    if (message != MSG_GET) return failure(TWCC_BADPROTOCOL);
    if (const auto refused = refuse_transfer(TWSX_MEMORY)) return *refused;
    if (!pointer) return failure(TWCC_BADVALUE);
    auto& record = *static_cast<pTW_IMAGEMEMXFER>(pointer);
    const std::size_t line = page_->shape().line_bytes();
    if (!record.Memory.TheMem || record.Memory.Length < line) return failure(TWCC_BADVALUE);
    ready_unseen_ = false;

    const bool is_handle = (record.Memory.Flags & TWMF_HANDLE) != 0;
    auto* buffer = static_cast<std::uint8_t*>(is_handle ? dsm_.lock(record.Memory.TheMem) : record.Memory.TheMem);
    if (!buffer) return failure(TWCC_BADVALUE);
    const std::size_t first = page_->lines_delivered();
    const auto outcome = page_->read(buffer, record.Memory.Length / line);
    if (is_handle) dsm_.unlock(record.Memory.TheMem);
    if (outcome.status != SANE_STATUS_GOOD) {
        const bool midway = transferring_;
        auto reply = lose_page(outcome.status);
        // Once strips have gone, the transfer ends with MSG_ENDXFER from state 7 either way.
        if (midway) state_ = 7;
        return reply;
    }
    record.Compression = TWCP_NONE;
    record.BytesPerRow = static_cast<TW_UINT32>(line);
    record.Columns = page_->shape().width;
    record.Rows = static_cast<TW_UINT32>(outcome.lines);
    record.XOffset = 0;
    record.YOffset = static_cast<TW_UINT32>(first);
    record.BytesWritten = static_cast<TW_UINT32>(outcome.lines * line);
    state_ = 7;
    transferring_ = !page_->done();
    return page_->done() ? Reply{TWRC_XFERDONE, TWCC_SUCCESS} : success();
}

Reply DataSource::file_transfer(TW_UINT16 message, TW_MEMREF) {
    if (message != MSG_GET) return failure(TWCC_BADPROTOCOL);
    if (const auto refused = refuse_transfer(TWSX_FILE)) return *refused;
    ready_unseen_ = false;
    const auto format = static_cast<FileFormat>(capabilities_->transfer().file_format);
    // A format that cannot hold the image leaves it waiting: the application may choose another.
    if (!file_format_holds(format, page_->shape())) return failure(TWCC_BADVALUE);
    auto file = ImageFile::create(format, file_name_, page_->shape(), page_x_dpi_, page_y_dpi_);
    if (!file) return failure(errno == EACCES || errno == EPERM ? TWCC_DENIED : TWCC_FILEWRITEERROR);

    const std::size_t line = page_->shape().line_bytes();
    std::vector<std::uint8_t> strip(strip_lines(line) * line);
    while (!page_->done()) {
        const auto outcome = page_->read(strip.data(), strip_lines(line));
        if (outcome.status != SANE_STATUS_GOOD) return lose_page(outcome.status);
        if (!file->write(strip.data(), outcome.lines)) {
            lose_page(SANE_STATUS_IO_ERROR);
            state_ = 6;
            return failure(TWCC_FILEWRITEERROR);
        }
    }
    if (!file->finish(page_->shape().height)) {
        lose_page(SANE_STATUS_IO_ERROR);
        state_ = 6;
        return failure(TWCC_FILEWRITEERROR);
    }
    state_ = 7;
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

}  // namespace sane_backend
