#pragma once
// The file each image of an acquisition goes to: FILE itself when one image was asked for;
// otherwise FILE with "-1", "-2", ... before its extension ("scan.tif" -> "scan-2.tif").

#include <filesystem>

namespace twain_host {

// number counts from 1.
std::filesystem::path image_file(const std::filesystem::path& file, int asked, int number);

}  // namespace twain_host
