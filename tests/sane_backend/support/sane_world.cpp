#include "tests/sane_backend/support/sane_world.hpp"

#include <dlfcn.h>

#include <cstdlib>

#include "tests/support/temp_dir.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"

namespace sane_testing {

SaneWorld::SaneWorld(const std::vector<std::string>& test_conf) {
    // libsane unloads its test backend at sane_exit; kept loaded, the frames of the backend's
    // own leaks keep their name for the sanitizer build's suppressions (libsane.supp).
    ::dlopen(SANE_TEST_BACKEND, RTLD_NOW | RTLD_NODELETE);
    twain_testing::lay_out_scanner_bundle(twain_testing::scanner_bundle_path(env_.root()),
                                          twain_testing::full_scanner_info("/Library/Printers/Velmora/QSA.plist"),
                                          {"Color", "Gray"});
    const auto backend = twain_testing::backend_bundle_path(env_.root());
    std::filesystem::create_directories(backend.parent_path());
    std::filesystem::create_directory_symlink(SANE_BACKEND_BUNDLE, backend);
    std::filesystem::create_directories(scratch());
    testing_support::write_file(sane_config() / "dll.conf", "test\n");
    configure(test_conf);
    ::setenv("SANE_CONFIG_DIR", sane_config().c_str(), 1);
}

void SaneWorld::configure(const std::vector<std::string>& test_conf) const {
    std::string text = "number_of_devices 1\n";
    for (const auto& line : test_conf) text += line + "\n";
    testing_support::write_file(sane_config() / "test.conf", text);
}

void SaneWorld::without_devices() const { testing_support::write_file(sane_config() / "dll.conf", "\n"); }

}  // namespace sane_testing
