#include "tools/twain_host/data_source_files.hpp"

#include <algorithm>

namespace twain_host {

std::vector<std::filesystem::path> data_source_files(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::vector<fs::path> found;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->path().extension() == ".ds" && it->is_regular_file(ignored))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace twain_host
