#include "tools/twain_host/probe.hpp"

#include "tools/twain_host/backend_check.hpp"
#include "tools/twain_host/data_source_files.hpp"
#include "tools/twain_host/data_source_library.hpp"
#include "tools/twain_host/triplet_call.hpp"
#include "twain/backend/data_source_backend.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace twain_host {

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
        const auto code = send_triplet(library->entry(), nullptr, identity, out, "  ");
        if (code == twain::TWRC_SUCCESS) answered = true;
        // twain-source keeps its backend in gDataSource: still none after a failure means it
        // could not make one, and the host finds out why.
        const auto* backend =
            static_cast<twain::DataSourceBackend* const*>(library->symbol("gDataSource"));
        if (code == twain::TWRC_FAILURE && backend && !*backend) {
            out << "  " << explain_missing_backend(backend_bundle_path()) << '\n';
        }
    }
    return answered;
}

}  // namespace twain_host
