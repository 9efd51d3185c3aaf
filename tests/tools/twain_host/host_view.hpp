#pragma once
// Running twain-host and the installed pieces the way a Linux system runs them, in a private
// view made with bubblewrap: the data source in a data source folder of the test's, a backend
// bundle at the fixed path (the test's folder is bound at /Library), the build tree read-only,
// and SANE, when the test uses it, reading only the test's configuration (SANE_CONFIG_DIR).

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace twain_host_testing {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the command and collects its standard output and standard error.
Outcome run(const std::vector<std::string>& command);

// The lines of a file; where the first line from `from` on that starts with `start` is (-1: none).
std::vector<std::string> lines_of(const std::filesystem::path& file);
std::ptrdiff_t find_line(const std::vector<std::string>& lines, const std::string& start,
                         std::ptrdiff_t from = 0);

class HostView : public ::testing::Test {
protected:
    // Skips the test where bubblewrap cannot make a view; lays out the data source folder.
    void SetUp() override;

    // Copies a built backend bundle to the fixed path in the view's /Library.
    void install_backend(const std::filesystem::path& bundle) const;
    // Writes the view's SANE configuration: a dll.conf naming only SANE's test backend (or no
    // backend at all, so that SANE finds no device), and a test.conf of these lines.
    void configure_sane(const std::vector<std::string>& test_conf,
                        bool with_test_backend = true) const;

    // The command in the view, from the folder given, with the variables given.
    Outcome run_in_view(const std::vector<std::string>& command,
                        const std::filesystem::path& folder = "/",
                        const std::map<std::string, std::string>& environment = {}) const;

    std::filesystem::path data_source() const { return twain_folder_ / "velmora/velmora-q580n.ds"; }

    testing_support::TempDir temp_{"twain-host-test"};
    std::filesystem::path library_ = temp_ / "Library";
    std::filesystem::path twain_folder_ = temp_ / "twain";
    std::filesystem::path record_ = temp_ / "record.plist";
    std::filesystem::path sane_config_ = temp_ / "sane";
};

}  // namespace twain_host_testing
