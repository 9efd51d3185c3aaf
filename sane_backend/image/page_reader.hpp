#pragma once
// Reads one page from a SANE device whose scan has started, as the data source's lines.
//
// A single-frame page (grey, line art, RGB) is read as it comes: straight into the caller's
// buffer when the lines need no conversion, else through one strip of staging. A three-pass
// page (red, green and blue frames, each started on its own) is gathered whole first, since a
// chunky line needs all three. A page whose height the device does not know (a hand scanner)
// ends where the device says it does: the reader looks one line ahead, so that the strip that
// holds the last line is known to be the last. A page that ends early is completed with white
// lines up to the height announced; more lines than announced are read and dropped.

#include <sane/sane.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sane_backend/image/image_shape.hpp"
#include "sane_backend/image/line_converter.hpp"
#include "sane_backend/sane/sane_device.hpp"

namespace sane_backend {

struct ReadOutcome {
    std::size_t lines = 0;                  // lines written to the buffer
    SANE_Status status = SANE_STATUS_GOOD;  // a SANE error ends the page; EOF: no data at all
};

class PageReader {
public:
    // The reader of the page whose first frame the device has just started; null with
    // SANE_STATUS_UNSUPPORTED (or the device's status) when its frames cannot be read.
    static std::unique_ptr<PageReader> begin(SaneDevice& device, bool vanilla, SANE_Status& status);

    // The page's shape; its height is -1 until known, and final once done().
    const ImageShape& shape() const { return shape_; }
    std::size_t lines_delivered() const { return delivered_; }
    bool done() const { return done_; }
    bool three_pass() const { return converter_.channel().has_value(); }

    // Up to max_lines whole lines into out (line_bytes() each), in order.
    ReadOutcome read(std::uint8_t* out, std::size_t max_lines);
    // The whole page into out, which holds shape().image_bytes(); the height must be known.
    SANE_Status read_all(std::uint8_t* out);

private:
    PageReader(SaneDevice& device, LineConverter converter, bool vanilla);

    // Reads raw bytes of the current frame until want have come, the frame ends (EOF) or an
    // error; got says how many arrived.
    SANE_Status fill(std::uint8_t* into, std::size_t want, std::size_t& got);
    // Makes the staging hold at least one whole raw line unless the frame ends first.
    SANE_Status stage_line();
    ReadOutcome read_single(std::uint8_t* out, std::size_t max_lines);
    SANE_Status gather(std::uint8_t* image, std::vector<std::uint8_t>* growing);
    void finish();

    SaneDevice& device_;
    LineConverter converter_;
    bool vanilla_;
    ImageShape shape_;
    std::size_t delivered_ = 0;
    bool done_ = false;
    bool frame_ended_ = false;
    bool last_frame_ = true;
    // An error met while looking ahead, reported by the next read.
    SANE_Status pending_ = SANE_STATUS_GOOD;
    std::vector<std::uint8_t> staging_;
    std::size_t staged_begin_ = 0;
    std::size_t staged_end_ = 0;
    // A three-pass page, once gathered.
    std::vector<std::uint8_t> gathered_;
    bool is_gathered_ = false;
};

}  // namespace sane_backend
