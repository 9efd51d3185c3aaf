#include "platform/msgport/named_socket.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/base/errno_text.hpp"
#include "platform/base/os_status.hpp"
#include "platform/folders/runtime_dir.hpp"

namespace platform::msgport {

namespace {

bool valid_name(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool fill_address(const std::filesystem::path& path, sockaddr_un& address) {
    const std::string& text = path.native();
    address = {};
    address.sun_family = AF_UNIX;
    if (text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

std::optional<std::filesystem::path> named_socket_path(std::string_view subfolder,
                                                       std::string_view name) {
    if (!valid_name(name) || !valid_name(subfolder)) return std::nullopt;
    auto path = folders::runtime_dir() / subfolder / name;
    sockaddr_un address{};
    if (!fill_address(path, address)) return std::nullopt;
    return path;
}

Result<NamedSocket> NamedSocket::claim(std::string_view subfolder, std::string_view name) {
    auto path = named_socket_path(subfolder, name);
    if (!path) return Error{"invalid or too long name: " + std::string(name)};
    auto folder = folders::private_runtime_subfolder(subfolder);
    if (!folder) return folder.error();

    const auto lock_path = *folder / (std::string(name) + ".lock");
    UniqueFd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock) return Error{errno_text("cannot open " + lock_path.string(), errno)};
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return Error{std::string(name) + " is already served", os_status::portNameExistsErr};
        }
        return Error{errno_text("cannot lock " + lock_path.string(), errno)};
    }

    // Holding the lock, any socket file left here belongs to a server that is gone.
    if (::unlink(path->c_str()) != 0 && errno != ENOENT) {
        return Error{errno_text("cannot remove stale " + path->string(), errno)};
    }
    UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) return Error{errno_text("cannot create socket", errno)};
    const int on = 1;
    if (::setsockopt(socket.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) {
        return Error{errno_text("cannot ask for sender credentials", errno)};
    }
    sockaddr_un address{};
    fill_address(*path, address);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return Error{errno_text("cannot bind " + path->string(), errno)};
    }
    NamedSocket claimed(std::move(lock), std::move(socket), std::move(*path));
    // Not through the umask, which every thread of the process shares: a file or folder made
    // meanwhile, or a child started meanwhile, would get it. The folder is private already, so
    // nobody else meets the socket before it is narrowed.
    if (::chmod(claimed.socket_path_.c_str(), 0600) != 0) {
        return Error{errno_text("cannot restrict " + claimed.socket_path_.string(), errno)};
    }
    return claimed;
}

NamedSocket::NamedSocket(UniqueFd lock, UniqueFd socket, std::filesystem::path socket_path)
    : lock_(std::move(lock)), socket_(std::move(socket)), socket_path_(std::move(socket_path)) {}

NamedSocket& NamedSocket::operator=(NamedSocket&& other) noexcept {
    if (this != &other) {
        release();
        lock_ = std::move(other.lock_);
        socket_ = std::move(other.socket_);
        socket_path_ = std::move(other.socket_path_);
    }
    return *this;
}

NamedSocket::~NamedSocket() { release(); }

void NamedSocket::release() noexcept {
    if (socket_ && lock_) ::unlink(socket_path_.c_str());
    socket_.reset();
    lock_.reset();
}

Result<std::optional<NamedSocket::Datagram>> NamedSocket::receive(std::span<std::byte> buffer) {
    for (;;) {
        iovec part{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t received = ::recvmsg(socket_.get(), &message, MSG_TRUNC | MSG_CMSG_CLOEXEC);
        if (received < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return std::optional<Datagram>();
            if (errno == EINTR) continue;
            return Error{errno_text("cannot receive on " + socket_path_.string(), errno)};
        }
        bool from_current_user = false;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_CREDENTIALS) {
                ucred credentials{};
                std::memcpy(&credentials, CMSG_DATA(header), sizeof credentials);
                from_current_user = credentials.uid == ::geteuid();
            } else if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
                // Nobody should pass descriptors here; close any that arrived.
                const auto count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (std::size_t i = 0; i < count; ++i) {
                    int passed = -1;
                    std::memcpy(&passed, CMSG_DATA(header) + i * sizeof(int), sizeof passed);
                    ::close(passed);
                }
            }
        }
        if (!from_current_user) continue;
        const auto size = static_cast<std::size_t>(received);
        return std::optional<Datagram>(Datagram{size, size > buffer.size()});
    }
}

Result<void> send_to_name(std::string_view subfolder, std::string_view name,
                          std::span<const std::byte> payload,
                          std::optional<std::chrono::milliseconds> wait_limit) {
    auto path = named_socket_path(subfolder, name);
    if (!path) return Error{"invalid or too long name: " + std::string(name)};
    // Only a server of this user can have bound a socket in a private folder.
    if (auto folder = folders::existing_private_runtime_subfolder(subfolder); !folder) {
        return Error{std::string(name) + " is not served: " + folder.error().message,
                     os_status::procNotFound};
    }
    UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) return Error{errno_text("cannot create socket", errno)};
    if (wait_limit) {
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(*wait_limit).count();
        timeval limit{static_cast<time_t>(micros / 1000000),
                      static_cast<suseconds_t>(micros % 1000000)};
        if (::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
            return Error{errno_text("cannot limit the wait of a send", errno)};
        }
    }
    sockaddr_un address{};
    fill_address(*path, address);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int connect_errno = errno;
        if (connect_errno == ENOENT || connect_errno == ECONNREFUSED) {
            return Error{std::string(name) + " is not served", os_status::procNotFound};
        }
        return Error{errno_text("cannot reach " + path->string(), connect_errno)};
    }
    for (;;) {
        const ssize_t sent = ::send(socket.get(), payload.data(), payload.size(), MSG_NOSIGNAL);
        if (sent >= 0) return {};
        if (errno == EINTR) continue;
        if (errno == ECONNREFUSED)
            return Error{std::string(name) + " is not served", os_status::procNotFound};
        if (wait_limit && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Error{std::string(name) + " took nothing in time: its queue stays full",
                         os_status::errAETimeout};
        }
        return Error{errno_text("cannot send to " + path->string(), errno)};
    }
}

}  // namespace platform::msgport
