// twain-host: a small TWAIN host for trying a data source by hand and in tests.

#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "tools/twain_host/data_source_library.hpp"
#include "tools/twain_host/probe.hpp"
#include "tools/twain_host/triplet_call.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace {

constexpr const char* kUsage = R"(usage:
  twain-host --probe [FOLDER]
  twain-host [--null-origin] DATA_SOURCE TRIPLET...
  twain-host --help

--probe     Act as the Linux TWAIN Data Source Manager does when it lists data sources: load
            every regular file named "*.ds" below FOLDER (default /usr/local/lib/twain), send
            each DG_CONTROL/DAT_IDENTITY/MSG_GET with a null origin and print the identity it
            gives. Exit status 0 when at least one data source answered with TWRC_SUCCESS.

DATA_SOURCE TRIPLET...
            Load the data source (a ".ds" shared object), send it the triplets in order through
            its DS_Entry, and print each return code with the identity or status that came back.
            The origin is this host's identity, or null with --null-origin. Exit status 0 when
            every triplet was sent, whatever the data source answered.

A TRIPLET is DG/DAT/MSG. Each part is a name, with or without its prefix and in any case
(control, DG_CONTROL; identity, status, userinterface; get, opends, closeds, enableds), or a
number (12, 0x0c). Examples:
  twain-host velmora-q580n.ds control/identity/get control/status/get
  twain-host --null-origin velmora-q580n.ds DG_CONTROL/DAT_IDENTITY/MSG_GET
)";

twain::TW_IDENTITY host_identity() {
    twain::TW_IDENTITY identity{};
    identity.Version.MajorNum = 1;
    identity.Version.Language = twain::TWLG_USA;
    identity.Version.Country = twain::TWCY_USA;
    std::strcpy(identity.Version.Info, "twain-host");
    identity.ProtocolMajor = twain::TWON_PROTOCOLMAJOR;
    identity.ProtocolMinor = twain::TWON_PROTOCOLMINOR;
    identity.SupportedGroups = twain::DG_CONTROL | twain::DG_IMAGE;
    std::strcpy(identity.Manufacturer, "Velmora");
    std::strcpy(identity.ProductFamily, "Tools");
    std::strcpy(identity.ProductName, "twain-host");
    return identity;
}

int usage_error(std::string_view message) {
    std::cerr << "twain-host: " << message << "\n\n" << kUsage;
    return 2;
}

int send_triplets(const char* data_source, const std::vector<twain_host::Triplet>& triplets,
                  bool null_origin) {
    auto library = twain_host::DataSourceLibrary::load(data_source);
    if (!library) {
        std::cerr << "twain-host: " << library.error().message << '\n';
        return 1;
    }
    auto origin = host_identity();
    for (const auto& triplet : triplets) {
        twain_host::send_triplet(library->entry(), null_origin ? nullptr : &origin, triplet,
                                 std::cout, "");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (!args.empty() && args[0] == "--probe") {
        if (args.size() > 2) return usage_error("--probe takes one folder at most");
        const std::filesystem::path folder =
            args.size() == 2 ? std::filesystem::path(args[1]) : twain_host::kDataSourceFolder;
        return twain_host::probe_data_sources(folder, std::cout) ? 0 : 1;
    }
    std::size_t next = 0;
    const bool null_origin = !args.empty() && args[0] == "--null-origin";
    if (null_origin) ++next;
    if (args.size() < next + 2) return usage_error("a data source and at least one triplet are needed");
    const char* data_source = argv[next + 1];
    std::vector<twain_host::Triplet> triplets;
    for (std::size_t i = next + 1; i < args.size(); ++i) {
        const auto triplet = twain_host::parse_triplet(args[i]);
        if (!triplet) return usage_error("not a triplet: " + std::string(args[i]));
        triplets.push_back(*triplet);
    }
    return send_triplets(data_source, triplets, null_origin);
}
