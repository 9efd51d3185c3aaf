#pragma once
// What the scanner offers, read from the SANE device's options (and the scanner bundle's
// defaults), and what the application has chosen of it. Lengths are millimetres here; the
// capabilities convert to and from the application's units.

#include <optional>
#include <string>
#include <vector>

#include "sane_backend/image/image_shape.hpp"
#include "sane_backend/settings/numeric_constraint.hpp"

namespace sane_backend {

// A rectangle from the top left corner of the scan area.
struct FrameMm {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double width() const { return right - left; }
    double height() const { return bottom - top; }
};

struct DeviceOffer {
    // Scan modes by their SANE names; empty when the device has none of the kind. Line art is
    // either a mode of its own or grey at depth 1.
    std::string lineart_mode;
    std::string gray_mode;
    std::string color_mode;
    bool lineart_through_gray = false;
    bool has_depth = false;
    std::vector<int> gray_depths;   // 8 and/or 16
    std::vector<int> color_depths;  // bits per sample: 8 and/or 16

    // Resolutions offered to the application (the scanner bundle's list where the device allows
    // it, else the device's own), and which SANE options carry them.
    NumericConstraint x_resolution = NumericConstraint::any();
    NumericConstraint y_resolution = NumericConstraint::any();
    std::string x_resolution_option;  // "resolution", "x-resolution" or empty
    std::string y_resolution_option;  // "y-resolution" or empty when tied to x

    // The scan area: where the device's coordinates start and how large it is.
    bool geometry = false;  // tl-x, tl-y, br-x, br-y in millimetres
    double origin_x = 0;
    double origin_y = 0;
    double width = 0;
    double height = 0;
    // The steps the device takes its corners in (0: any).
    double step_x = 0;
    double step_y = 0;

    // Document sources by their SANE names; empty when absent.
    std::string flatbed_source;
    std::string feeder_source;

    std::vector<PixelType> pixel_types() const;
    // The bit depths (bits per pixel: 1; 8, 16; 24, 48) of a pixel type.
    std::vector<int> bit_depths(PixelType type) const;
    bool has_feeder() const { return !feeder_source.empty(); }
    bool resolutions_tied() const { return y_resolution_option.empty(); }
};

struct ScanSettings {
    PixelType pixel_type = PixelType::Gray;
    int bit_depth = 8;  // bits per pixel
    double x_resolution = 300;
    double y_resolution = 300;
    FrameMm frame;
    bool feeder_enabled = false;
};

// The default bit depth of a pixel type among those offered.
int default_bit_depth(const DeviceOffer& offer, PixelType type);

}  // namespace sane_backend
