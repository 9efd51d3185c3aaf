#include "platform/folders/folders.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/folders/file_ref.hpp"
#include "platform/folders/runtime_dir.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

namespace folders = platform::folders;
using testing_support::IsolatedEnvironment;

TEST(Folders, FixedPathsAreRootedInTheView) {
    IsolatedEnvironment env;
    EXPECT_EQ(folders::system_path("/Users/benchuser/scanprobe"),
              env.root() / "Users/benchuser/scanprobe");
    folders::set_root("");
    EXPECT_EQ(folders::system_path("/Library/x"), std::filesystem::path("/Library/x"));
}

TEST(Folders, LookupsAnswerExistingFoldersAndNeverCreate) {
    IsolatedEnvironment env;
    auto missing = folders::find_folder(folders::Folder::ApplicationSupport, false);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().status, -43);

    auto asked_to_create = folders::find_folder(folders::Folder::Frameworks, true);
    ASSERT_TRUE(asked_to_create);
    EXPECT_EQ(*asked_to_create, env.root() / "System/Library/Frameworks");
    EXPECT_FALSE(std::filesystem::exists(*asked_to_create));

    std::filesystem::create_directories(env.root() / "Library/Application Support");
    auto found = folders::find_folder(folders::Folder::ApplicationSupport, false);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, env.root() / "Library/Application Support");
}

TEST(Folders, FileRefsResolveExistingFilesOnly) {
    IsolatedEnvironment env;
    testing_support::write_file(env.base() / "a/file", "x");
    std::filesystem::create_symlink(env.base() / "a", env.base() / "link");
    auto ref = folders::make_file_ref(env.base() / "link/./file");
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->path, std::filesystem::canonical(env.base() / "a/file"));

    auto none = folders::make_file_ref(env.base() / "a/none");
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().status, -43);
    EXPECT_FALSE(folders::make_file_ref(""));
}

TEST(Folders, RuntimeSubfoldersArePrivate) {
    IsolatedEnvironment env;
    auto ports = folders::private_runtime_subfolder("msgports");
    ASSERT_TRUE(ports) << ports.error().message;
    EXPECT_EQ(*ports, env.runtime_dir() / "msgports");
    struct stat info {};
    ASSERT_EQ(::stat(ports->c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700U);

    ::chmod(ports->c_str(), 0711);
    EXPECT_FALSE(folders::private_runtime_subfolder("msgports")) << "others can enter it";
    ::chmod(ports->c_str(), 0744);
    EXPECT_TRUE(folders::private_runtime_subfolder("msgports")) << "others may only read names";

    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(ports->c_str(), 65534, 65534), 0);
        EXPECT_FALSE(folders::private_runtime_subfolder("msgports")) << "another user's folder";
    }

    testing_support::write_file(env.runtime_dir() / "appevents", "not a folder");
    EXPECT_FALSE(folders::private_runtime_subfolder("appevents"));
}

TEST(Folders, RuntimeFolderFallsBackToTmpPerUser) {
    IsolatedEnvironment env;
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(folders::runtime_dir(), "/tmp/runtime-" + std::to_string(::geteuid()));
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(folders::runtime_dir(), "/tmp/runtime-" + std::to_string(::geteuid()));
}

}  // namespace
