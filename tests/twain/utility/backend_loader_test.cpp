#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/plist/describe.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/twain/support/backend_log.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"
#include "twain/utility/tds_utility.hpp"

namespace {

using platform::plist::Value;
using twain::TDSUtility;
using twain_testing::hex;

twain::TW_IDENTITY sample_identity() {
    twain::TW_IDENTITY identity{};
    identity.Id = 0x01020304;
    identity.Version.MajorNum = 3;
    identity.SupportedGroups = 0x0A0B0C0D;
    std::memcpy(identity.ProductName, "Sample", 7);
    return identity;
}

class BackendLoaderTest : public ::testing::Test {
protected:
    std::filesystem::path bundle() const { return env_.base() / "VelDataSourceBackend.bundle"; }
    std::filesystem::path executable() const { return bundle() / "Contents/MacOS/TestBackend"; }
    std::unique_ptr<twain::DataSourceBackend> load(std::string_view principal_class,
                                                   const Value& dictionary = Value()) {
        twain_testing::lay_out_backend_bundle(bundle(), TWAIN_TEST_BACKEND, principal_class);
        return TDSUtility::loadDSBackend(bundle(), sample_identity(), dictionary);
    }
    bool code_loaded() const {
        void* handle = ::dlopen(executable().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle) ::dlclose(handle);
        return handle != nullptr;
    }

    testing_support::IsolatedEnvironment env_;
    twain_testing::BackendLog log_{env_.base() / "backend.log"};
};

TEST_F(BackendLoaderTest, ThePrincipalClassIsCreatedAndInitialisedOnce) {
    const auto dictionary =
        Value::dictionary({{"dKeyVID", Value::integer(7731)}, {"dKeyPID", Value::integer(183)}});
    auto backend = load("RecordingBackend", dictionary);
    ASSERT_TRUE(backend);
    const auto identity = sample_identity();
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{"alloc RecordingBackend",
                                                      "init RecordingBackend identity=" +
                                                          hex(&identity, sizeof identity) +
                                                          " keys=dKeyVID,dKeyPID"}));
    EXPECT_EQ(backend->sendTripletWithSource(nullptr, 1, 65535, 65535, nullptr), 0xABCDFFFFu);
    EXPECT_TRUE(code_loaded()) << "the bundle went away, its code stays";
}

TEST_F(BackendLoaderTest, ANullDictionaryReachesTheInitialiser) {
    ASSERT_TRUE(load("RecordingBackend"));
    const auto inits = log_.lines("init");
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_TRUE(inits[0].ends_with(" keys=null")) << inits[0];
}

TEST_F(BackendLoaderTest, ARefusedInstanceIsDestroyedAndItsCodeUnloaded) {
    EXPECT_FALSE(load("RefusingBackend"));
    ASSERT_EQ(log_.lines().size(), 3u);
    EXPECT_EQ(log_.lines()[0], "alloc RefusingBackend");
    EXPECT_TRUE(log_.lines()[1].starts_with("init RefusingBackend "));
    EXPECT_EQ(log_.lines()[2], "destroy RefusingBackend");
    EXPECT_FALSE(code_loaded());
}

TEST_F(BackendLoaderTest, BundlesWithoutAUsablePrincipalClassGiveNothing) {
    for (const auto* name : {"NoSuchClass", "OutdatedBackend", "NotAClass", "alloc",
                             "Recording Backend", "1RecordingBackend", ""}) {
        EXPECT_FALSE(load(name)) << name;
    }
    EXPECT_TRUE(log_.lines().empty()) << "nothing was allocated: " << log_.lines().front();

    twain_testing::write_plist(
        bundle() / "Contents/Info.plist",
        Value::dictionary({{"CFBundleExecutable", Value::string("TestBackend")}}));
    EXPECT_FALSE(TDSUtility::loadDSBackend(bundle(), sample_identity(), Value()));
    twain_testing::write_plist(
        bundle() / "Contents/Info.plist",
        Value::dictionary({{"CFBundleExecutable", Value::string("TestBackend")},
                           {"NSPrincipalClass", Value::integer(1)}}));
    EXPECT_FALSE(TDSUtility::loadDSBackend(bundle(), sample_identity(), Value()));
}

TEST_F(BackendLoaderTest, MissingBundlesAndCodeGiveNothing) {
    EXPECT_FALSE(TDSUtility::loadDSBackend(bundle(), sample_identity(), Value()));
    twain_testing::lay_out_backend_bundle(bundle(), TWAIN_TEST_BACKEND, "RecordingBackend");
    testing_support::write_file(executable(), "not an ELF object");
    EXPECT_FALSE(TDSUtility::loadDSBackend(bundle(), sample_identity(), Value()));
    std::filesystem::remove(executable());
    EXPECT_FALSE(TDSUtility::loadDSBackend(bundle(), sample_identity(), Value()));
    EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
