// scanner-library-sample: lays out the sample scanner library bundle and reads its record in
// plain words. `scanner-library-sample --help` says how.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/command_line/command_line.hpp"
#include "tools/scanner_sample_library/options.hpp"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/record_text.hpp"
#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace {

namespace fs = std::filesystem;

int fail(const std::string& message) {
    std::fprintf(stderr, "scanner-library-sample: %s\n", message.c_str());
    return 1;
}

int make_bundle(const fs::path& folder, const scanner_sample::Settings& settings) {
    std::error_code error;
    const auto program = fs::read_symlink("/proc/self/exe", error);
    const auto built = error ? std::nullopt : scanner_sample::find_built_bundle(program);
    if (!built) return fail("cannot find the built 7720ScannerLib.bundle beside this program");
    const auto target = fs::absolute(folder).lexically_normal();
    if (auto made = scanner_sample::make_sample_bundle(*built, target, settings); !made) {
        return fail(made.error().message);
    }
    std::printf("laid out %s\nit records to %s\n", target.c_str(),
                scanner_sample::record_path(target, settings).c_str());
    return 0;
}

int show_record(const fs::path& path) {
    std::error_code error;
    fs::path record = path;
    if (fs::is_directory(path, error)) {
        record =
            scanner_sample::record_path(fs::absolute(path), scanner_sample::read_settings(path));
    }
    const auto calls = scanner_sample::read_record(record);
    if (!calls) return fail(calls.error().message);
    const auto text = scanner_sample::describe_record(*calls);
    std::fputs(text.text.c_str(), stdout);
    return text.overlaps > 0 || text.problems > 0 ? 3 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options =
        scanner_sample::parse_options(std::vector<std::string>(argv + 1, argv + argc));
    if (auto status = tools::command_line::finish_early("scanner-library-sample", options,
                                                        scanner_sample::help_text)) {
        return *status;
    }
    if (options->make_bundle) return make_bundle(*options->make_bundle, options->settings);
    return show_record(*options->show_record);
}
