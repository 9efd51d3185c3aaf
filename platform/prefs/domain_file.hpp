#pragma once
// One domain's file: reading it, and writing changed keys into it.
//
// The file holds one property list whose top level is a dictionary: XML when written here, XML
// or binary when read. A missing, empty or unreadable file is an empty domain, and so is one that
// holds no dictionary (it does not parse, or its top level is something else). A file larger
// than max_domain_file_size is not read at all, nor written over: reading it would hold up every
// access to the domain for seconds.
//
// A writer takes an exclusive flock on <file>.lock, re-reads the file, applies only the changed
// keys, writes a temporary file in the same folder and renames it over the old one. So writers,
// threads or processes, never lose each other's keys, and readers, who take no lock, only ever
// see a whole file. The new file is synced before the rename and the folder after it, so that a
// power cut leaves the old file or the new one, never an empty or half-written one.
//
// A file that holds no dictionary is moved aside to <file>.corrupt by the next write rather than
// written over. Copies kept aside before move along to <file>.corrupt.1, .2, and so on; ten are
// kept, the newest as <file>.corrupt, and only the oldest beyond them is dropped.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/result.hpp"
#include "platform/base/unique_fd.hpp"
#include "platform/plist/value.hpp"

namespace platform::prefs {

// Enough of a file's status to tell, by one stat, whether it was replaced or changed since.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp stamp_of(const struct stat& status);
// What is at the path now; exists is false when nothing is or it cannot be looked at.
FileStamp current_stamp(const std::filesystem::path& file);

enum class FileState {
    Missing,
    Empty,
    Loaded,      // held a dictionary
    Unreadable,  // may not be opened, or is not a regular file
    Corrupt,     // did not parse, or its top level is not a dictionary
    // Could not be read for a passing fault of this process or the system (no descriptor or
    // memory left, an I/O error), which says nothing about what the file holds.
    Failed,
    TooLarge,  // larger than max_domain_file_size
};

// Preference files hold kilobytes. libplist's reading time grows faster than the size (a
// dictionary's keys share a hash table of fixed size), and a write reads the file too: at this
// size the densest dictionary costs a few hundred milliseconds per access.
inline constexpr std::uintmax_t max_domain_file_size = std::uintmax_t{2} << 20;

struct DomainSnapshot {
    plist::Value values;  // a dictionary of its own, empty unless the state is Loaded
    FileState state = FileState::Missing;
    FileStamp stamp;  // of the very file the values came from; none when Failed
    // That file, kept open: while it is held its inode number cannot go to another file, so an
    // unchanged stamp means an unchanged file.
    UniqueFd held;
    // Of the file's bytes, when it held a dictionary (see LastRead).
    std::optional<std::uint64_t> digest;
};

// What a reader last read from the file (or wrote to it). When the file holds the very same
// bytes again, its values are taken as they were instead of being parsed again, which for a
// large file is most of the cost of reading it.
struct LastRead {
    const plist::Value& values;  // a dictionary
    std::uint64_t digest;
};

// The dictionary of an XML or binary document; an error for anything else.
Result<plist::Value> parse_domain(std::span<const std::byte> document);

// Never fails: what could not be read is an empty domain, and the state says why.
DomainSnapshot read_domain_file(const std::filesystem::path& file,
                                std::optional<LastRead> last = std::nullopt);

// Keys in the order they were first changed; a null value removes its key.
using Changes = std::vector<std::pair<std::string, plist::Value>>;

// Writes the changes into the file (creating its folders, mode 0700, as needed) and answers
// what the file now holds. On failure the file is as it was, or moved aside when corrupt, or
// replaced when only the folder could not be synced after the rename. A file that could not be
// read for a passing fault, or is too large, is a failure: it is neither moved nor replaced.
Result<DomainSnapshot> write_domain_changes(const std::filesystem::path& file,
                                            const Changes& changes,
                                            std::optional<LastRead> last = std::nullopt);

}  // namespace platform::prefs
