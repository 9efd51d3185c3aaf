#pragma once
// A stand-in for the systemd journal: the datagram socket <folder>/socket, read on a thread of
// its own, each datagram parsed as one entry of the journal's native protocol ("KEY=value"
// lines, or KEY, a newline, a 64-bit little-endian length and the value for values with
// newlines). A test binds the folder at /run/systemd/journal in a program's private view.

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/unique_fd.hpp"

namespace testing_support {

struct JournalEntry {
    std::map<std::string, std::string> fields;
    pid_t sender = -1;  // from the datagram's credentials

    // The field's value, or "" when the entry has none.
    std::string operator[](const std::string& name) const;
};

class JournalStandIn {
public:
    // Binds <folder>/socket (the folder must exist) and starts reading.
    explicit JournalStandIn(std::filesystem::path folder);
    JournalStandIn(const JournalStandIn&) = delete;
    JournalStandIn& operator=(const JournalStandIn&) = delete;
    ~JournalStandIn();

    bool listening() const { return static_cast<bool>(socket_); }
    const std::filesystem::path& folder() const { return folder_; }
    // Every entry so far, in arrival order.
    std::vector<JournalEntry> Entries() const;
    // The entries whose field has that value.
    std::vector<JournalEntry> EntriesWith(const std::string& field, const std::string& value) const;

private:
    void Read();

    std::filesystem::path folder_;
    platform::UniqueFd socket_;
    platform::UniqueFd stop_;  // an eventfd that ends the reader
    mutable std::mutex lock_;
    std::vector<JournalEntry> entries_;
    std::thread reader_;
};

// Parses one datagram of the native protocol; fields it cannot read are left out.
std::map<std::string, std::string> ParseJournalDatagram(std::string_view datagram);

}  // namespace testing_support
