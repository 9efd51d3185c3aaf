// twain-host: a small TWAIN host for trying a data source by hand and in tests. This file only
// reads the command line; the work is done in twain_host_parts.

#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/command_line/command_line.hpp"
#include "tools/twain_host/acquisition.hpp"
#include "tools/twain_host/data_source_library.hpp"
#include "tools/twain_host/probe.hpp"
#include "tools/twain_host/triplet_call.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace {

constexpr const char* kUsage = R"(usage:
  twain-host --acquire FILE [--resolution DPI] [--pixel-type bw|gray|rgb] [--bit-depth N]
             [--transfer native|memory|file] [--file-format tiff|bmp|png]
             [--area LEFT,TOP,RIGHT,BOTTOM] [--count N] [--feeder] [--poll]
             [--data-source PATH.ds | --folder FOLDER] [--trace FILE]
  twain-host --probe [FOLDER]
  twain-host [--null-origin] DATA_SOURCE TRIPLET...
  twain-host --help | --version

--acquire FILE
            Scan: play the Linux TWAIN Data Source Manager and an application for a whole
            acquisition. Like the Source Manager, list the data sources (each loaded, asked
            DG_CONTROL/DAT_IDENTITY/MSG_GET with a null origin, unloaded), load the first that
            answered again, hand it DAT_ENTRYPOINT when its identity carries DF_DS2, and open it
            (after a failed MSG_OPENDS, its DAT_STATUS says why). Then, as the application:
            negotiate what the options ask, enable the source without its user interface
            (ShowUI FALSE), and on MSG_XFERREADY transfer each image, DAT_PENDINGXFERS/
            MSG_ENDXFER between images and MSG_RESET when the source has more than was asked;
            disable and close. Memory goes through the Source Manager's own functions, which
            account for every block: blocks nobody freed and refused frees are reported.
            The source's messages come to a callback (DAT_CALLBACK/MSG_REGISTER_CALLBACK); while
            it runs, and while the source answers a call, the Source Manager refuses nested calls
            to the source (TWRC_FAILURE with TWCC_SEQERROR; DAT_EVENT gets TWRC_NOTDSEVENT).
  --resolution DPI          ICAP_XRESOLUTION and ICAP_YRESOLUTION, in ICAP_UNITS inches
  --pixel-type bw|gray|rgb  ICAP_PIXELTYPE (set before the bit depth)
  --bit-depth N             ICAP_BITDEPTH, bits per pixel (bw 1, gray 8 or 16, rgb 24 or 48)
  --transfer native|memory|file
                            ICAP_XFERMECH (default native). Native: the TIFF the source hands
                            over, written as it is. Memory: strips assembled by the host and
                            written as an uncompressed TIFF. File: the source writes the file
                            named with DAT_SETUPFILEXFER.
  --file-format tiff|bmp|png
                            ICAP_IMAGEFILEFORMAT of a file transfer (default tiff)
  --area LEFT,TOP,RIGHT,BOTTOM
                            the image layout's frame, in inches (DAT_IMAGELAYOUT/MSG_SET)
  --count N                 CAP_XFERCOUNT (default 1; -1: every image the source has). With
                            one image FILE is written as named; otherwise the images go to FILE
                            with -1, -2, ... before its extension (scan.tif: scan-1.tif, ...).
  --feeder                  CAP_FEEDERENABLED TRUE: scan from the document feeder
  --poll                    register no callback: poll DAT_EVENT/MSG_PROCESSEVENT instead
  --data-source PATH.ds     this data source instead of the first one found in the folder
  --folder FOLDER           where data sources are found (default /usr/local/lib/twain)
  --trace FILE              write every call that crosses the Source Manager, the loading and
                            unloading of data sources and the memory account to FILE (- for
                            standard error)
            Prints one line per image (BITS: bits per pixel, from DAT_IMAGEINFO):
              FILE: WIDTHxHEIGHT PIXELTYPE BITS-bit XRESxYRES dpi MECHANISM
            Exit status 0 when every image asked for arrived (with --count -1: at least one), 1
            when the acquisition failed (the TWAIN step, return code and condition code go to
            standard error), 2 for bad usage.

--probe [FOLDER]
            Act as the Linux TWAIN Data Source Manager does when it lists data sources: load
            every regular file named "*.ds" below FOLDER (default /usr/local/lib/twain), send
            each DG_CONTROL/DAT_IDENTITY/MSG_GET with a null origin and print the identity it
            gives. When twain-source answers TWRC_FAILURE because it could not make its
            backend, say which step it could not take, found by taking them again at the
            backend bundle's fixed path: no backend bundle, no executable (Info.plist,
            CFBundleExecutable, the file in Contents/MacOS, its loading), no principal class
            (NSPrincipalClass, its symbol, its interface version), or the backend refused its
            initialisation. Exit status 0 when at least one data source answered with
            TWRC_SUCCESS.

DATA_SOURCE TRIPLET...
            Load the data source (a ".ds" shared object), send it the triplets in order through
            its DS_Entry, and print each return code with the identity or status that came back.
            The origin is this host's identity, or null with --null-origin. Exit status 0 when
            every triplet was sent, whatever the data source answered.

Short forms: -a FILE (--acquire), -p (--probe), -n (--null-origin), -r DPI, -c N, -d PATH.ds,
-f FOLDER, -h (--help), -V (--version). A value may also follow an "=": --resolution=150.

A TRIPLET is DG/DAT/MSG. Each part is a name, with or without its prefix and in any case
(control, DG_CONTROL; identity, status, userinterface; get, opends, closeds, enableds), or a
number (12, 0x0c). Examples:
  twain-host velmora-q580n.ds control/identity/get control/status/get
  twain-host --null-origin velmora-q580n.ds DG_CONTROL/DAT_IDENTITY/MSG_GET
  twain-host --acquire page.tif --resolution 150 --pixel-type gray --transfer memory
)";

int usage_error(std::string_view message) {
    std::cerr << "twain-host: " << message << "\n\n" << kUsage;
    return 2;
}

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

int send_triplets(const std::string& data_source, const std::vector<twain_host::Triplet>& triplets,
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

enum : std::size_t {
    kProbe,
    kNullOrigin,
    kAcquire,
    kResolution,
    kPixelType,
    kBitDepth,
    kTransfer,
    kFileFormat,
    kArea,
    kCount,
    kFeeder,
    kPoll,
    kDataSource,
    kFolder,
    kTrace,
};

constexpr tools::command_line::Option kOptions[] = {
    {"probe", 'p', false},      {"null-origin", 'n', false}, {"acquire", 'a', true},
    {"resolution", 'r', true},  {"pixel-type", 0, true},     {"bit-depth", 0, true},
    {"transfer", 0, true},      {"file-format", 0, true},    {"area", 0, true},
    {"count", 'c', true},       {"feeder", 0, false},        {"poll", 0, false},
    {"data-source", 'd', true}, {"folder", 'f', true},       {"trace", 0, true},
};

// Stores a parsed value, or says which option's value was refused.
template <class T, class Parsed>
platform::Result<void> take(T& target, const Parsed& parsed, std::size_t option,
                            const std::string& value) {
    if (!parsed) {
        return platform::Error{std::string("bad value for --") + kOptions[option].name + ": " +
                               value};
    }
    target = *parsed;
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    twain_host::AcquireSettings settings;
    bool acquire = false;
    bool probe = false;
    bool null_origin = false;
    bool acquire_options = false;  // options that only --acquire takes
    bool file_format_given = false;
    std::optional<std::string> trace_file;

    const auto read = tools::command_line::read(
        std::vector<std::string>(argv + 1, argv + argc), kOptions,
        [&](std::size_t option, const std::string& value) -> platform::Result<void> {
            acquire_options = acquire_options || option >= kResolution;
            switch (option) {
                case kProbe: probe = true; break;
                case kNullOrigin: null_origin = true; break;
                case kAcquire:
                    acquire = true;
                    settings.file = value;
                    break;
                case kResolution:
                    return take(settings.resolution, twain_host::parse_resolution(value), option,
                                value);
                case kPixelType:
                    return take(settings.pixel_type, twain_host::parse_pixel_type(value), option,
                                value);
                case kBitDepth:
                    return take(settings.bit_depth, twain_host::parse_bit_depth(value), option,
                                value);
                case kTransfer:
                    return take(settings.mechanism, twain_host::parse_mechanism(value), option,
                                value);
                case kFileFormat:
                    file_format_given = true;
                    return take(settings.file_format, twain_host::parse_file_format(value), option,
                                value);
                case kArea:
                    return take(settings.area, twain_host::parse_area(value), option, value);
                case kCount:
                    return take(settings.count, twain_host::parse_count(value), option, value);
                case kFeeder: settings.feeder = true; break;
                case kPoll: settings.poll = true; break;
                case kDataSource: settings.data_source = value; break;
                case kFolder: settings.folder = value; break;
                case kTrace: trace_file = value; break;
            }
            return {};
        });
    if (!read) return usage_error(read.error().message);
    if (auto status = tools::command_line::answer(read->request, "twain-host", kUsage))
        return *status;
    const std::vector<std::string>& operands = read->operands;

    if (acquire) {
        if (probe || null_origin)
            return usage_error("--acquire goes with neither --probe nor --null-origin");
        if (!operands.empty())
            return usage_error(std::string("unexpected argument: ") + operands[0]);
        if (settings.data_source && settings.folder != twain_host::kDataSourceFolder) {
            return usage_error("--data-source and --folder exclude each other");
        }
        if (file_format_given && settings.mechanism != twain_host::Mechanism::File) {
            return usage_error("--file-format is for --transfer file");
        }
        std::ofstream trace_stream;
        std::ostream* trace_out = nullptr;
        if (trace_file && *trace_file == "-") {
            trace_out = &std::cerr;
        } else if (trace_file) {
            trace_stream.open(*trace_file, std::ios::trunc);
            if (!trace_stream) return usage_error("cannot write the trace to " + *trace_file);
            trace_out = &trace_stream;
        }
        twain_host::Trace trace(trace_out);
        return twain_host::acquire(settings, std::cout, std::cerr, trace);
    }
    if (acquire_options) return usage_error("that option is for --acquire");
    if (probe) {
        if (null_origin) return usage_error("--probe always asks with a null origin");
        if (operands.size() > 1) return usage_error("--probe takes one folder at most");
        const std::filesystem::path folder =
            operands.empty() ? std::filesystem::path(twain_host::kDataSourceFolder)
                             : std::filesystem::path(operands[0]);
        return twain_host::probe_data_sources(folder, std::cout) ? 0 : 1;
    }
    if (operands.size() < 2)
        return usage_error("a data source and at least one triplet are needed");
    std::vector<twain_host::Triplet> triplets;
    for (std::size_t i = 1; i < operands.size(); ++i) {
        const auto triplet = twain_host::parse_triplet(operands[i]);
        if (!triplet) return usage_error(std::string("not a triplet: ") + operands[i]);
        triplets.push_back(*triplet);
    }
    return send_triplets(operands[0], triplets, null_origin);
}
