#include "platform/prefs/domain_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <string_view>

#include "platform/base/errno_text.hpp"
#include "platform/diagnostics/descriptors.hpp"
#include "platform/diagnostics/reporting.hpp"
#include "platform/plist/document.hpp"

namespace platform::prefs {

namespace {

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::filesystem::path with_suffix(const std::filesystem::path& file, std::string_view suffix) {
    std::filesystem::path result = file;
    result += suffix;
    return result;
}

// Tells whether a file's bytes are those read before. Only compared within one process.
std::uint64_t digest_of(std::string_view bytes) { return std::hash<std::string_view>{}(bytes); }

// Open errors that tell nothing about the file itself.
bool passing_fault(int error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == EIO ||
           error == EINTR || error == EAGAIN;
}

Result<void> make_folders(const std::filesystem::path& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return {};
        return Error{folder.string() + " is not a folder"};
    }
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        auto parent = make_folders(folder.parent_path());
        if (!parent) return parent;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return Error{errno_text("cannot create " + folder.string(), errno)};
    }
    return {};
}

Result<void> write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return Error{errno_text("cannot write preferences", errno)};
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// Waits until what was written through the descriptor is on disk. A file system that cannot
// sync such a descriptor (EINVAL) is taken as it is.
Result<void> sync(int fd, const std::string& what) {
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        if (errno == EINVAL) return {};
        return Error{errno_text("cannot sync " + what, errno)};
    }
    return {};
}

// The same for a folder's entries (the names renamed into it).
Result<void> sync_folder(const std::filesystem::path& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return Error{errno_text("cannot open " + folder.string(), errno)};
    return sync(fd.get(), folder.string());
}

// How many damaged files of a domain are kept aside, the newest first.
constexpr int kept_aside = 10;

std::filesystem::path kept_aside_name(const std::filesystem::path& file, int age) {
    return with_suffix(file, age == 0 ? ".corrupt" : ".corrupt." + std::to_string(age));
}

// Moves the damaged file aside as the newest copy, each older copy one place along, and drops
// the oldest when there are more than kept_aside. Called under the domain's lock.
Result<void> keep_aside(const std::filesystem::path& file) {
    const auto oldest = kept_aside_name(file, kept_aside - 1);
    std::error_code error;
    std::filesystem::remove_all(oldest, error);
    if (error) return Error{"cannot drop " + oldest.string() + ": " + error.message()};
    for (int age = kept_aside - 2; age >= 0; --age) {
        const auto from = kept_aside_name(file, age);
        if (::rename(from.c_str(), kept_aside_name(file, age + 1).c_str()) != 0 &&
            errno != ENOENT) {
            return Error{errno_text("cannot move " + from.string() + " along", errno)};
        }
    }
    const auto kept = kept_aside_name(file, 0);
    if (::rename(file.c_str(), kept.c_str()) != 0) {
        return Error{errno_text("cannot keep " + file.string() + " aside", errno)};
    }
    diagnostics::report({diagnostics::Priority::Warning,
                         "damaged preference file " + file.string() + " kept aside as " +
                             kept.string() + "; its domain starts again empty",
                         {{"EVENT", "PREFERENCE_FILE_KEPT_ASIDE"},
                          {"PREFERENCE_FILE", file.string()},
                          {"KEPT_AS", kept.string()}}});
    return {};
}

constexpr std::string_view damaged_condition = "PREFERENCE_FILE_DAMAGED";
constexpr std::string_view too_large_condition = "PREFERENCE_FILE_TOO_LARGE";

diagnostics::Entry file_entry(diagnostics::Priority priority, std::string message,
                              const std::filesystem::path& file) {
    return {priority, std::move(message), {{"PREFERENCE_FILE", file.string()}}};
}

// A file that reads as an empty domain, or not at all, is reported while it stays so: every
// access to the domain meets it again.
void report_state(const std::filesystem::path& file, FileState state, bool exists) {
    const std::string& name = file.native();
    const bool damaged = state == FileState::Corrupt || (state == FileState::Unreadable && exists);
    if (damaged) {
        diagnostics::begin_condition(damaged_condition, name, [&] {
            return file_entry(diagnostics::Priority::Warning,
                              "preference file " + name +
                                  " is damaged (or not a readable file) and reads as empty; the "
                                  "next write keeps it aside",
                              file);
        });
    } else if (state != FileState::Failed) {
        diagnostics::end_condition(damaged_condition, name, [&] {
            return file_entry(diagnostics::Priority::Notice,
                              "preference file " + name + " reads again", file);
        });
    }
    if (state == FileState::TooLarge) {
        diagnostics::begin_condition(too_large_condition, name, [&] {
            return file_entry(diagnostics::Priority::Error,
                              "preference file " + name + " is larger than " +
                                  std::to_string(max_domain_file_size >> 20) +
                                  " MiB: it is not read, and nothing is written to it",
                              file);
        });
    } else if (state != FileState::Failed) {
        diagnostics::end_condition(too_large_condition, name, [&] {
            return file_entry(diagnostics::Priority::Notice,
                              "preference file " + name + " is read again", file);
        });
    }
}

// Exclusive for as long as it lives.
class DomainLock {
public:
    static Result<DomainLock> take(const std::filesystem::path& file) {
        const auto path = with_suffix(file, ".lock");
        // Never through a link: one planted there would have the file made, or locked, elsewhere.
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd) return Error{errno_text("cannot open " + path.string(), errno)};
        while (::flock(fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR) return Error{errno_text("cannot lock " + path.string(), errno)};
        }
        return DomainLock(std::move(fd));
    }

private:
    explicit DomainLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;  // closing it lets the lock go
};

// A temporary file beside the target, removed unless it was renamed into place.
class TemporaryFile {
public:
    static Result<TemporaryFile> create_beside(const std::filesystem::path& file) {
        std::string name = with_suffix(file, ".tmp.XXXXXX").native();
        UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
        if (!fd) return Error{errno_text("cannot create a file beside " + file.string(), errno)};
        return TemporaryFile(std::move(name), std::move(fd));
    }
    TemporaryFile(TemporaryFile&&) noexcept = default;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!renamed_ && !name_.empty()) ::unlink(name_.c_str());
    }

    int fd() const { return fd_.get(); }
    Result<void> rename_to(const std::filesystem::path& file) {
        if (::rename(name_.c_str(), file.c_str()) != 0) {
            return Error{errno_text("cannot replace " + file.string(), errno)};
        }
        renamed_ = true;
        return {};
    }
    UniqueFd release_fd() { return std::move(fd_); }

private:
    TemporaryFile(std::string name, UniqueFd fd) : name_(std::move(name)), fd_(std::move(fd)) {}

    std::string name_;
    UniqueFd fd_;
    bool renamed_ = false;
};

}  // namespace

FileStamp stamp_of(const struct stat& status) {
    return FileStamp{true,
                     status.st_dev,
                     status.st_ino,
                     status.st_size,
                     nanoseconds(status.st_mtim),
                     nanoseconds(status.st_ctim)};
}

FileStamp current_stamp(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return FileStamp{};
    return stamp_of(status);
}

Result<plist::Value> parse_domain(std::span<const std::byte> document) {
    auto value = plist::parse(document);
    if (!value) return value.error();
    if (!value->is(plist::Type::Dictionary)) return Error{"the top level is not a dictionary"};
    return value;
}

namespace {

DomainSnapshot read_as_found(const std::filesystem::path& file, std::optional<LastRead> last) {
    DomainSnapshot snapshot;
    snapshot.values = plist::Value::dictionary();
    // Non-blocking, so that a FIFO put in the file's place cannot hang the reader.
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        const int error = errno;
        if (passing_fault(error)) {
            diagnostics::note_error(error, "cannot open " + file.string());
            snapshot.state = FileState::Failed;
            return snapshot;
        }
        snapshot.stamp = current_stamp(file);
        snapshot.state =
            error == ENOENT && !snapshot.stamp.exists ? FileState::Missing : FileState::Unreadable;
        return snapshot;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        snapshot.state = FileState::Failed;
        return snapshot;
    }
    snapshot.stamp = stamp_of(status);
    if (!S_ISREG(status.st_mode)) {
        snapshot.state = FileState::Unreadable;
        snapshot.held = std::move(fd);
        return snapshot;
    }
    // One byte past the cap tells a file that grew beyond it while being read.
    constexpr auto cap = static_cast<std::size_t>(max_domain_file_size);
    if (static_cast<std::uintmax_t>(status.st_size) > cap) {
        snapshot.state = FileState::TooLarge;
        snapshot.held = std::move(fd);
        return snapshot;
    }
    std::string bytes;
    bytes.resize(std::min(static_cast<std::size_t>(status.st_size), cap) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > cap) {
                snapshot.state = FileState::TooLarge;
                snapshot.held = std::move(fd);
                return snapshot;
            }
            bytes.resize(std::min(bytes.size() * 2, cap + 1));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            snapshot.state = FileState::Failed;
            snapshot.stamp = FileStamp{};
            return snapshot;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    snapshot.held = std::move(fd);
    if (bytes.empty()) {
        snapshot.state = FileState::Empty;
        return snapshot;
    }
    const std::uint64_t digest = digest_of(bytes);
    if (last && last->digest == digest) {
        // New entries; the values are shared, and nothing here changes them.
        const auto entries = last->values.entries();
        snapshot.values = plist::Value::dictionary({entries.begin(), entries.end()});
    } else {
        auto values = parse_domain(std::as_bytes(std::span(bytes.data(), bytes.size())));
        if (!values) {
            snapshot.state = FileState::Corrupt;
            return snapshot;
        }
        snapshot.values = std::move(values.value());
    }
    snapshot.state = FileState::Loaded;
    snapshot.digest = digest;
    return snapshot;
}

}  // namespace

DomainSnapshot read_domain_file(const std::filesystem::path& file, std::optional<LastRead> last) {
    DomainSnapshot snapshot = read_as_found(file, last);
    report_state(file, snapshot.state, snapshot.stamp.exists);
    return snapshot;
}

Result<DomainSnapshot> write_domain_changes(const std::filesystem::path& file,
                                            const Changes& changes, std::optional<LastRead> last) {
    auto folder = make_folders(file.parent_path());
    if (!folder) return folder.error();
    auto lock = DomainLock::take(file);
    if (!lock) return lock.error();

    DomainSnapshot current = read_domain_file(file, last);
    // Writing now would replace keys that could not be read with nothing.
    if (current.state == FileState::Failed) {
        return Error{"cannot read " + file.string() + " now; nothing was written"};
    }
    if (current.state == FileState::TooLarge) {
        return Error{file.string() + " is too large to be read; nothing was written"};
    }
    const bool unusable = current.state == FileState::Corrupt ||
                          (current.state == FileState::Unreadable && current.stamp.exists);
    if (unusable) {
        auto kept = keep_aside(file);
        if (!kept) return kept.error();
    }

    plist::Value values = std::move(current.values);
    for (const auto& [key, value] : changes) values.set(key, value);
    auto xml = plist::to_xml(values);
    if (!xml) return xml.error();

    auto temporary = TemporaryFile::create_beside(file);
    if (!temporary) return temporary.error();
    auto written = write_all(temporary->fd(), *xml);
    if (!written) return written.error();
    // Renamed before its contents are on disk, the file could come back empty after a power
    // cut, which reads as an empty domain.
    auto synced = sync(temporary->fd(), "preferences beside " + file.string());
    if (!synced) return synced.error();
    auto replaced = temporary->rename_to(file);
    if (!replaced) return replaced.error();
    // Until the folder is synced the rename itself may be lost. The caller writes again later.
    auto entered = sync_folder(file.parent_path());
    if (!entered) return entered.error();

    DomainSnapshot result;
    result.values = std::move(values);
    result.state = FileState::Loaded;
    result.digest = digest_of(*xml);
    result.held = temporary->release_fd();
    // After the rename, which changes the inode's change time.
    struct stat status {};
    if (::fstat(result.held.get(), &status) == 0) result.stamp = stamp_of(status);
    return result;
}

}  // namespace platform::prefs
