#include "tools/twain_host/probe.hpp"

#include <algorithm>
#include <vector>

#include "tools/twain_host/data_source_library.hpp"
#include "tools/twain_host/triplet_call.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace twain_host {

namespace {

std::vector<std::filesystem::path> data_source_files(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::vector<fs::path> found;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->path().extension() == ".ds" && it->is_regular_file(ignored)) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

bool probe_data_sources(const std::filesystem::path& folder, std::ostream& out) {
    const auto files = data_source_files(folder);
    if (files.empty()) out << "no data sources below " << folder.string() << '\n';
    bool answered = false;
    for (const auto& file : files) {
        out << file.string() << '\n';
        auto library = DataSourceLibrary::load(file);
        if (!library) {
            out << "  not loaded: " << library.error().message << '\n';
            continue;
        }
        const Triplet identity{twain::DG_CONTROL, twain::DAT_IDENTITY, twain::MSG_GET};
        if (send_triplet(library->entry(), nullptr, identity, out, "  ") == twain::TWRC_SUCCESS) {
            answered = true;
        }
    }
    return answered;
}

}  // namespace twain_host
