#pragma once
// Named local datagram endpoints, the ground of message ports and application events.
//
// A name N in a private runtime sub-folder F (<runtime>/F, mode 0700) is served while its server
// holds an exclusive flock on <runtime>/F/N.lock, through the Unix datagram socket
// <runtime>/F/N (mode 0600). A second server finds the lock taken and learns that the name is
// in use. A server that got the lock removes a stale socket before binding. The socket asks for
// the sender's credentials, and datagrams from other users are dropped unread.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "platform/base/result.hpp"
#include "platform/base/unique_fd.hpp"

namespace platform::msgport {

class NamedSocket {
public:
    // Claims the name. A name is one non-empty path component ('/', "." and ".." are refused)
    // short enough for a socket address. Status -904 (portNameExistsErr) when another server
    // holds the name; any other failure has status -1.
    static Result<NamedSocket> claim(std::string_view subfolder, std::string_view name);

    NamedSocket(NamedSocket&&) noexcept = default;
    NamedSocket& operator=(NamedSocket&&) noexcept;
    NamedSocket(const NamedSocket&) = delete;
    NamedSocket& operator=(const NamedSocket&) = delete;
    // Removes the socket file while the name is still held, then lets the name go.
    ~NamedSocket();

    // Non-blocking; watch it for EPOLLIN/POLLIN.
    int fd() const noexcept { return socket_.get(); }
    const std::filesystem::path& socket_path() const noexcept { return socket_path_; }

    struct Datagram {
        std::size_t size;  // the datagram's real size; more than the buffer when truncated
        bool truncated;
    };
    // The next datagram of the current user, copied into the buffer; empty when none is waiting.
    // Datagrams of other users are dropped on the way.
    Result<std::optional<Datagram>> receive(std::span<std::byte> buffer);

private:
    NamedSocket(UniqueFd lock, UniqueFd socket, std::filesystem::path socket_path);
    void release() noexcept;

    UniqueFd lock_;
    UniqueFd socket_;
    std::filesystem::path socket_path_;
};

// The socket path of a name, without touching the file system; empty for an invalid name.
std::optional<std::filesystem::path> named_socket_path(std::string_view subfolder,
                                                       std::string_view name);

// Sends one datagram to the server of a name and waits while its queue is full: without limit
// by default, or at most wait_limit, after which the send fails with status -1712
// (errAETimeout). Status -600 (procNotFound) when nobody serves the name, also when the folder
// is missing or fails the checks a server's folder passes (so that nobody else can pose as the
// server).
Result<void> send_to_name(std::string_view subfolder, std::string_view name,
                          std::span<const std::byte> payload,
                          std::optional<std::chrono::milliseconds> wait_limit = std::nullopt);

}  // namespace platform::msgport
