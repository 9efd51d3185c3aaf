#include "platform/bundle/bundle.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/plist/document.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using platform::bundle::Bundle;
using platform::plist::Value;
using testing_support::IsolatedEnvironment;
using testing_support::write_file;

std::filesystem::path lay_out_bundle(const std::filesystem::path& folder, const Value& info) {
    write_file(folder / "Contents/Info.plist", *platform::plist::to_xml(info));
    std::filesystem::create_directories(folder / "Contents/MacOS");
    std::filesystem::copy_file(BUNDLE_TEST_CODE, folder / "Contents/MacOS/Code");
    return folder;
}

Value code_info() {
    return Value::dictionary({{"CFBundleExecutable", Value::string("Code")},
                              {"CFBundleIdentifier", Value::string("com.example.code")}});
}

TEST(Bundle, ReadsItsInfoAndLocatesItsParts) {
    IsolatedEnvironment env;
    const auto folder = lay_out_bundle(env.base() / "Sample.bundle", code_info());
    write_file(folder / "Contents/Resources/Color.icc", "profile");
    std::filesystem::create_directories(folder / "Contents/SharedSupport");

    auto bundle = Bundle::open(folder);
    ASSERT_TRUE(bundle) << bundle.error().message;
    EXPECT_EQ(bundle->info_string("CFBundleIdentifier"), "com.example.code");
    EXPECT_FALSE(bundle->info_string("Missing"));
    EXPECT_EQ(bundle->executable_path(), folder / "Contents/MacOS/Code");
    EXPECT_EQ(bundle->shared_support_path(), folder / "Contents/SharedSupport");
    EXPECT_EQ(bundle->resource_path("Color", "icc"), folder / "Contents/Resources/Color.icc");
    EXPECT_FALSE(bundle->resource_path("Color", "icm"));
    EXPECT_FALSE(bundle->resource_path("../Resources/Color", "icc"));
    EXPECT_FALSE(bundle->resource_path("", ""));
}

TEST(Bundle, FoldersWithoutUsableInfoAreBundlesWithoutDictionary) {
    IsolatedEnvironment env;
    std::filesystem::create_directories(env.base() / "Bare.bundle");
    auto bare = Bundle::open(env.base() / "Bare.bundle");
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->info_dictionary().is_null());
    EXPECT_FALSE(bare->executable_path());
    EXPECT_FALSE(bare->shared_support_path());
    EXPECT_FALSE(bare->load());

    write_file(env.base() / "Broken.bundle/Contents/Info.plist", "<plist><dict>");
    auto broken = Bundle::open(env.base() / "Broken.bundle");
    ASSERT_TRUE(broken);
    EXPECT_TRUE(broken->info_dictionary().is_null());

    auto missing = Bundle::open(env.base() / "Missing.bundle");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().status, -43);
}

TEST(Bundle, ExecutableNamesCannotLeaveTheBundle) {
    IsolatedEnvironment env;
    const auto folder =
        lay_out_bundle(env.base() / "Escape.bundle",
                       Value::dictionary({{"CFBundleExecutable", Value::string("../MacOS/Code")}}));
    auto bundle = Bundle::open(folder);
    ASSERT_TRUE(bundle);
    EXPECT_FALSE(bundle->executable_path());
}

TEST(Bundle, LoadsLooksUpAndUnloadsCode) {
    IsolatedEnvironment env;
    auto bundle = Bundle::open(lay_out_bundle(env.base() / "Sample.bundle", code_info()));
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->symbol("BundleTestCount"), nullptr) << "not loaded yet";

    ASSERT_TRUE(bundle->load());
    ASSERT_TRUE(bundle->load()) << "loading twice is harmless";
    auto* count = platform::bundle::entry_point<int()>(*bundle, "BundleTestCount");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(bundle->symbol("NoSuchEntryPoint"), nullptr);

    bundle->unload();
    EXPECT_FALSE(bundle->is_loaded());
    EXPECT_EQ(bundle->symbol("BundleTestCount"), nullptr);
    bundle->unload();

    ASSERT_TRUE(bundle->load());
    count = platform::bundle::entry_point<int()>(*bundle, "BundleTestCount");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count(), 1) << "the code was really unloaded";
}

TEST(Bundle, CodeThatDoesNotLoadIsAnError) {
    IsolatedEnvironment env;
    const auto folder = env.base() / "Junk.bundle";
    write_file(folder / "Contents/Info.plist", *platform::plist::to_xml(code_info()));
    write_file(folder / "Contents/MacOS/Code", "not an ELF object");
    auto bundle = Bundle::open(folder);
    ASSERT_TRUE(bundle);
    auto loaded = bundle->load();
    ASSERT_FALSE(loaded);
    EXPECT_NE(loaded.error().message.find("Junk.bundle"), std::string::npos);
    EXPECT_FALSE(bundle->is_loaded());
}

TEST(Bundle, SystemFrameworkComesFromTheCLibraryWithoutAFolder) {
    IsolatedEnvironment env;
    const auto frameworks = env.root() / "System/Library/Frameworks";
    ASSERT_FALSE(std::filesystem::exists(frameworks));
    auto system_framework = Bundle::open(frameworks / "System.framework");
    ASSERT_TRUE(system_framework) << system_framework.error().message;
    ASSERT_TRUE(system_framework->load());
    auto* run = platform::bundle::entry_point<int(const char*)>(*system_framework, "system");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run("exit 3"), 3 << 8);

    // Elsewhere the name has no such meaning.
    EXPECT_FALSE(Bundle::open(env.base() / "System.framework"));
}

TEST(Bundle, MovingKeepsTheLoadedCode) {
    IsolatedEnvironment env;
    auto opened = Bundle::open(lay_out_bundle(env.base() / "Sample.bundle", code_info()));
    ASSERT_TRUE(opened);
    Bundle bundle = std::move(opened.value());
    ASSERT_TRUE(bundle.load());
    Bundle moved = std::move(bundle);
    EXPECT_TRUE(moved.is_loaded());
    auto* count = platform::bundle::entry_point<int()>(moved, "BundleTestCount");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count(), 1);
}

}  // namespace
