// What makes a preference write survive a power cut: the new file's contents are on disk before
// it is renamed over the old one, and the folder's new entry is on disk after the rename.
//
// This program defines fsync, fdatasync and rename itself. Its definitions take the place of the
// C library's for all the code linked into it; they note each call and pass it on.

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/prefs/domain_file.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

struct Call {
    std::string what;  // "sync" or "rename"
    std::string path;  // the file synced, or the rename's new name
    std::string from;  // the rename's old name
};

bool recording = false;
std::vector<Call> calls;

std::string path_of(int fd) {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
}

void note_sync(int fd) {
    if (recording) calls.push_back({"sync", path_of(fd), {}});
}

}  // namespace

extern "C" int fsync(int fd) {
    note_sync(fd);
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd) {
    note_sync(fd);
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}

extern "C" int rename(const char* from, const char* to) {
    if (recording) calls.push_back({"rename", to, from});
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

namespace {

namespace prefs = platform::prefs;
using platform::plist::Value;

// The position of the first call that matches; calls.size() when none does.
template <class Match>
std::size_t first(Match match) {
    return static_cast<std::size_t>(std::find_if(calls.begin(), calls.end(), match) -
                                    calls.begin());
}

TEST(PrefsDurableWrite, TheFileIsSyncedBeforeTheRenameAndTheFolderAfterIt) {
    testing_support::TempDir dir;
    const auto folder = std::filesystem::canonical(dir.path()) / "Preferences";
    const auto file = folder / "d.plist";
    for (const int round : {1, 2}) {  // a new file, then one replaced
        calls.clear();
        recording = true;
        auto written = prefs::write_domain_changes(file, {{"k", Value::integer(round)}});
        recording = false;
        ASSERT_TRUE(written) << written.error().message;

        const std::size_t renamed =
            first([&](const Call& c) { return c.what == "rename" && c.path == file; });
        ASSERT_LT(renamed, calls.size()) << "no rename into place";
        const std::string temporary = calls[renamed].from;
        const std::size_t contents =
            first([&](const Call& c) { return c.what == "sync" && c.path == temporary; });
        EXPECT_LT(contents, renamed) << "the new contents are synced before they replace the old";
        const auto folder_synced =
            std::find_if(calls.begin() + static_cast<std::ptrdiff_t>(renamed), calls.end(),
                         [&](const Call& c) { return c.what == "sync" && c.path == folder; });
        EXPECT_NE(folder_synced, calls.end()) << "the folder is synced after the rename";
    }
}

}  // namespace
