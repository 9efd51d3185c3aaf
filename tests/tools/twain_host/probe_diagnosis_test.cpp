// twain-host --probe when twain-source cannot make its backend: the host takes the data source's
// steps at the backend bundle's fixed path again, in the data source's own view, and names the
// first it cannot take.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/plist/value.hpp"
#include "tests/tools/twain_host/host_view.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"
#include "twain/backend/data_source_backend.hpp"

namespace {

namespace fs = std::filesystem;
using platform::plist::Value;

// The backend bundle as the data source sees it in the view, and as the test lays it out.
const std::string kBundle = "/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle";

struct Case {
    const char* name;
    std::function<void(const fs::path& bundle)> lay_out;
    std::string explanation;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

void with_test_backend(const fs::path& bundle, const char* principal_class) {
    twain_testing::lay_out_backend_bundle(bundle, TEST_BACKEND, principal_class);
}

void with_info(const fs::path& bundle, const Value& info) {
    fs::create_directories(bundle / "Contents/MacOS");
    fs::copy_file(TEST_BACKEND, bundle / "Contents/MacOS/TestBackend");
    twain_testing::write_plist(bundle / "Contents/Info.plist", info);
}

const std::string kVersions = std::to_string(twain::kDataSourceBackendInterfaceVersion + 1) +
                              ", twain-source takes " +
                              std::to_string(twain::kDataSourceBackendInterfaceVersion);

const Case kCases[] = {
    {"NoBundle", [](const fs::path&) {}, "no backend bundle: " + kBundle + " does not exist"},
    {"NoInfoPlist", [](const fs::path& bundle) { fs::create_directories(bundle / "Contents"); },
     "no executable: " + kBundle + "/Contents/Info.plist is missing or holds no dictionary"},
    {"NoExecutableNamed",
     [](const fs::path& bundle) {
         with_info(bundle,
                   Value::dictionary({{"NSPrincipalClass", Value::string("RecordingBackend")}}));
     },
     "no executable: " + kBundle + "/Contents/Info.plist names none (CFBundleExecutable)"},
    {"ExecutableMissing",
     [](const fs::path& bundle) {
         with_test_backend(bundle, "RecordingBackend");
         fs::remove(bundle / "Contents/MacOS/TestBackend");
     },
     "no executable: " + kBundle + "/Contents/MacOS/TestBackend does not exist"},
    {"ExecutableDoesNotLoad",
     [](const fs::path& bundle) {
         with_test_backend(bundle, "RecordingBackend");
         fs::remove(bundle / "Contents/MacOS/TestBackend");
         testing_support::write_file(bundle / "Contents/MacOS/TestBackend", "no shared object");
     },
     "no executable: cannot load " + kBundle + ": " + kBundle + "/Contents/MacOS/TestBackend: "},
    {"NoPrincipalClassNamed",
     [](const fs::path& bundle) {
         with_info(bundle,
                   Value::dictionary({{"CFBundleExecutable", Value::string("TestBackend")}}));
     },
     "no principal class: " + kBundle + "/Contents/Info.plist names none (NSPrincipalClass)"},
    {"PrincipalClassNoIdentifier",
     [](const fs::path& bundle) { with_test_backend(bundle, "Recording Backend"); },
     "no principal class: \"Recording Backend\" (NSPrincipalClass) is no C identifier"},
    {"PrincipalClassNotExported",
     [](const fs::path& bundle) { with_test_backend(bundle, "NoSuchBackend"); },
     "no principal class: " + kBundle + "/Contents/MacOS/TestBackend exports no NoSuchBackend"},
    // An int: too small for a class record, unless AddressSanitizer pads it, and then its value
    // is no interface version.
    {"PrincipalClassNoRecord",
     [](const fs::path& bundle) { with_test_backend(bundle, "NotAClass"); },
     "no principal class: NotAClass "},
    {"PrincipalClassOutdated",
     [](const fs::path& bundle) { with_test_backend(bundle, "OutdatedBackend"); },
     "no principal class: OutdatedBackend has interface version " + kVersions},
    {"InitialisationRefused",
     [](const fs::path& bundle) { with_test_backend(bundle, "RefusingBackend"); },
     "the backend refused its initialisation: RefusingBackend made no instance (alloc) or refused "
     "initWithIdentity"},
};

class ProbeDiagnosis : public twain_host_testing::HostView,
                       public ::testing::WithParamInterface<Case> {};

TEST_P(ProbeDiagnosis, NamesTheFirstStepThatCannotBeTaken) {
    const auto& c = GetParam();
    c.lay_out(library_ / "Printers/Velmora/Frameworks/VelDataSourceBackend.bundle");
    const auto probe = run_in_view({TWAIN_HOST, "--probe", twain_folder_.string()});
    EXPECT_EQ(probe.status, 1) << probe.out;
    EXPECT_NE(probe.out.find("velmora-q580n.ds\n  DG_CONTROL/DAT_IDENTITY/MSG_GET -> "
                             "TWRC_FAILURE (1)\n  " +
                             c.explanation),
              std::string::npos)
        << probe.out << probe.err;
}

INSTANTIATE_TEST_SUITE_P(TwainHost, ProbeDiagnosis, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
