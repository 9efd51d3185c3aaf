#pragma once
// Preference domains: named sets of keys and property-list values, kept in one file each
// (location.hpp says where, domain_file.hpp how).
//
// A process sees a domain through a cache: set_value changes it at once, copy_value reads it, and
// synchronize writes the keys changed since the last synchronization and then reloads everything
// from disk, which is when other processes' writes become visible. Synchronizing a domain whose
// file has not been replaced or changed since it was last read (same inode, size, modification
// and change times) skips the re-read.
//
// shared_domain() gives the one Domain of a file in the process, as the framework does: threads
// that use one domain share its cache and its pending changes. Every operation is safe to call
// from any thread. Values go in and come out as copies, so no caller can change the cache behind
// the domain's back.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/base/result.hpp"
#include "platform/base/unique_fd.hpp"
#include "platform/plist/value.hpp"
#include "platform/prefs/domain_file.hpp"
#include "platform/prefs/location.hpp"

namespace platform::prefs {

class Domain {
public:
    // The domain kept in that file. Without a file (an invalid domain name) the domain holds
    // nothing and refuses changes. A second Domain of the same file behaves as another process
    // would; use shared_domain() to share the process's view.
    explicit Domain(std::optional<std::filesystem::path> file);
    Domain(const Domain&) = delete;
    Domain& operator=(const Domain&) = delete;

    // Empty for a domain without a file.
    const std::optional<std::filesystem::path>& file() const { return file_; }

    // A copy of the key's value; null when the key is absent. The file is read on first use,
    // and until it has been read, on every use: a domain whose file could not be read (a passing
    // fault, or a file too large) holds nothing, and is not taken to be empty.
    plist::Value copy_value(std::string_view key);
    // The same, but an error while the domain's file has not been read, so that the caller can
    // tell an absent key from one not seen. Nothing derived from a key not seen may be stored
    // over it.
    Result<plist::Value> look_up(std::string_view key);

    // Sets the key to a copy of the value, or removes it when the value is null. An error, and
    // no change, for a value with no property-list form (a file URL), a key holding NUL, or a
    // domain without a file.
    Result<void> set_value(std::string_view key, const plist::Value& value);

    // Writes the changed keys, then reloads. When the write fails the changes stay pending (and
    // visible to this process) for the next synchronization, and the error is reported. A reload
    // that fails for a passing fault (no descriptor left, an I/O error) or finds the file too
    // large keeps the values last read until the next synchronization reads again.
    Result<void> synchronize();

private:
    void load_if_needed();
    void adopt(DomainSnapshot snapshot);
    std::optional<LastRead> last_read() const;

    std::mutex lock_;
    const std::optional<std::filesystem::path> file_;
    bool loaded_ = false;  // values_ came from the file
    plist::Value values_;  // as last read from or written to the file
    Changes pending_;      // set or removed here since the last successful write
    FileStamp stamp_;
    UniqueFd held_;                        // the file values_ came from (see DomainSnapshot::held)
    std::optional<std::uint64_t> digest_;  // of that file, when it held a dictionary
};

// The process's one Domain for the domain name in that scope, resolved against the current
// environment (XDG_CONFIG_HOME, HOME) on each call. It lives until the process exits.
Domain& shared_domain(std::string_view name, Scope scope);

}  // namespace platform::prefs
