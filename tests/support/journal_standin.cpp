#include "tests/support/journal_standin.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace testing_support {

std::string JournalEntry::operator[](const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

std::map<std::string, std::string> ParseJournalDatagram(std::string_view datagram) {
    std::map<std::string, std::string> fields;
    while (!datagram.empty()) {
        const auto end = datagram.find('\n');
        const std::string_view line = datagram.substr(0, end);
        const auto equals = line.find('=');
        if (equals != std::string_view::npos) {
            fields[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
            if (end == std::string_view::npos) break;
            datagram.remove_prefix(end + 1);
            continue;
        }
        // KEY\n, then the value's length (64-bit little-endian), the value and a newline.
        if (end == std::string_view::npos || datagram.size() < end + 1 + 8) break;
        std::uint64_t length = 0;
        for (int i = 7; i >= 0; --i) {
            length = (length << 8) |
                     static_cast<unsigned char>(datagram[end + 1 + static_cast<std::size_t>(i)]);
        }
        const std::size_t value_at = end + 1 + 8;
        if (datagram.size() < value_at + length) break;
        fields[std::string(line)] = std::string(datagram.substr(value_at, length));
        datagram.remove_prefix(std::min(datagram.size(), value_at + length + 1));
    }
    return fields;
}

JournalStandIn::JournalStandIn(std::filesystem::path folder) : folder_(std::move(folder)) {
    platform::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (folder_ / "socket").string();
    if (!socket || path.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int on = 1;
    // Large entries would come as a descriptor of a memory file; these are small. A large
    // receive buffer keeps senders from waiting while the reader catches up.
    const int size = 4 << 20;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return;
    // Others (a view's user) may send to it.
    ::chmod(path.c_str(), 0666);
    stop_ = platform::UniqueFd(::eventfd(0, EFD_CLOEXEC));
    if (!stop_) return;
    socket_ = std::move(socket);
    reader_ = std::thread([this] { Read(); });
}

JournalStandIn::~JournalStandIn() {
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        (void)::write(stop_.get(), &one, sizeof one);
        reader_.join();
    }
}

void JournalStandIn::Read() {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        pollfd watched[2] = {{socket_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) continue;
        if (watched[1].revents != 0) return;
        iovec part{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(socket_.get(), &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (got < 0) continue;
        JournalEntry entry;
        entry.fields =
            ParseJournalDatagram(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_CREDENTIALS) {
                ucred credentials{};
                std::memcpy(&credentials, CMSG_DATA(header), sizeof credentials);
                entry.sender = credentials.pid;
            }
        }
        const std::lock_guard guard(lock_);
        entries_.push_back(std::move(entry));
    }
}

std::vector<JournalEntry> JournalStandIn::Entries() const {
    const std::lock_guard guard(lock_);
    return entries_;
}

std::vector<JournalEntry> JournalStandIn::EntriesWith(const std::string& field,
                                                      const std::string& value) const {
    std::vector<JournalEntry> found;
    for (auto& entry : Entries()) {
        if (entry[field] == value) found.push_back(std::move(entry));
    }
    return found;
}

}  // namespace testing_support
