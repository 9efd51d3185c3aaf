#pragma once
// What `twain-host --acquire` is asked to do, and the readers of its option values. Each reader
// answers nothing for a value it cannot take, which the command line reports as bad usage.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "tools/twain_host/data_source_files.hpp"

namespace twain_host {

enum class Mechanism { Native, Memory, File };

struct Area {  // inches, as the image layout's frame
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

struct AcquireSettings {
    std::filesystem::path file;
    std::optional<double> resolution;         // dots per inch, both directions
    std::optional<std::uint16_t> pixel_type;  // TWPT_...
    std::optional<std::uint16_t> bit_depth;
    Mechanism mechanism = Mechanism::Native;
    std::uint16_t file_format = 0;  // TWFF_..., for file transfers
    std::optional<Area> area;
    int count = 1;        // -1: as many as the source has
    bool feeder = false;  // CAP_FEEDERENABLED TRUE
    bool poll = false;    // DAT_EVENT/MSG_PROCESSEVENT instead of a callback
    std::optional<std::filesystem::path> data_source;
    std::filesystem::path folder = kDataSourceFolder;
};

std::optional<double> parse_resolution(std::string_view text);          // a positive number
std::optional<std::uint16_t> parse_pixel_type(std::string_view text);   // bw, gray, rgb
std::optional<std::uint16_t> parse_bit_depth(std::string_view text);    // 1 to 64
std::optional<Mechanism> parse_mechanism(std::string_view text);        // native, memory, file
std::optional<std::uint16_t> parse_file_format(std::string_view text);  // tiff, bmp, png
std::optional<Area> parse_area(std::string_view text);  // LEFT,TOP,RIGHT,BOTTOM, a non-empty frame
std::optional<int> parse_count(std::string_view text);  // -1, or 1 to 32767

// Names for what the host prints.
std::string_view pixel_type_name(int pixel_type);  // "bw", "gray", "rgb", else "other"
std::string_view mechanism_name(Mechanism mechanism);

}  // namespace twain_host
