#include "tools/twain_host/output_names.hpp"

#include <string>

namespace twain_host {

std::filesystem::path image_file(const std::filesystem::path& file, int asked, int number) {
    if (asked == 1) return file;
    // Only the last name counts: "scans.d/page" has no extension.
    auto name = file.stem().string() + "-" + std::to_string(number) + file.extension().string();
    return file.parent_path() / name;
}

}  // namespace twain_host
