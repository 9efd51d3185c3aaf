#include "platform/msgport/named_socket.hpp"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>

#include "platform/base/os_status.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using platform::msgport::NamedSocket;
using testing_support::IsolatedEnvironment;

std::span<const std::byte> bytes_of(const std::string& text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

NamedSocket claim_ok(std::string_view name) {
    auto claimed = NamedSocket::claim("msgports", name);
    if (!claimed) {
        ADD_FAILURE() << claimed.error().message;
        std::abort();
    }
    return std::move(claimed).value();
}

std::optional<std::string> receive_text(NamedSocket& socket, std::size_t capacity = 64) {
    std::string buffer(capacity, '\0');
    auto received = socket.receive(std::as_writable_bytes(std::span(buffer.data(), buffer.size())));
    EXPECT_TRUE(received);
    if (!received || !*received) return std::nullopt;
    buffer.resize(std::min((*received)->size, capacity));
    return buffer;
}

TEST(NamedSocket, SecondServerFindsTheNameTakenUntilTheFirstLetsGo) {
    IsolatedEnvironment env;
    {
        NamedSocket first = claim_ok("OSPREY_HID_MSG_PORT");
        EXPECT_EQ(first.socket_path(), env.runtime_dir() / "msgports/OSPREY_HID_MSG_PORT");
        struct stat info {};
        ASSERT_EQ(::stat(first.socket_path().c_str(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600U);

        auto second = NamedSocket::claim("msgports", "OSPREY_HID_MSG_PORT");
        ASSERT_FALSE(second);
        EXPECT_EQ(second.error().status, platform::os_status::portNameExistsErr);
        EXPECT_TRUE(std::filesystem::exists(first.socket_path())) << "the loser removed nothing";
    }
    EXPECT_FALSE(std::filesystem::exists(env.runtime_dir() / "msgports/OSPREY_HID_MSG_PORT"));
    NamedSocket again = claim_ok("OSPREY_HID_MSG_PORT");
}

TEST(NamedSocket, StaleSocketsAreReplacedAndNotServed) {
    IsolatedEnvironment env;
    std::filesystem::create_directories(env.runtime_dir() / "msgports");
    std::filesystem::permissions(env.runtime_dir() / "msgports", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    // A socket left behind by a server that died: bound, then its owner went away.
    {
        platform::UniqueFd dead(::socket(AF_UNIX, SOCK_DGRAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const auto path = (env.runtime_dir() / "msgports/port").string();
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(dead.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    auto unserved = platform::msgport::send_to_name("msgports", "port", bytes_of("hello"));
    ASSERT_FALSE(unserved);
    EXPECT_EQ(unserved.error().status, -600);

    NamedSocket server = claim_ok("port");
    ASSERT_TRUE(platform::msgport::send_to_name("msgports", "port", bytes_of("hello")));
    EXPECT_EQ(receive_text(server), "hello");
    EXPECT_EQ(receive_text(server), std::nullopt) << "nothing more waiting";
}

TEST(NamedSocket, DatagramsKeepTheirBoundariesAndReportTruncation) {
    IsolatedEnvironment env;
    NamedSocket server = claim_ok("port");
    ASSERT_TRUE(platform::msgport::send_to_name("msgports", "port", bytes_of("")));
    ASSERT_TRUE(platform::msgport::send_to_name("msgports", "port", bytes_of("0123456789")));
    EXPECT_EQ(receive_text(server), "");

    std::array<std::byte, 4> small{};
    auto received = server.receive(small);
    ASSERT_TRUE(received);
    ASSERT_TRUE(*received);
    EXPECT_EQ((*received)->size, 10U);
    EXPECT_TRUE((*received)->truncated);
}

TEST(NamedSocket, NobodyServingIsProcNotFound) {
    IsolatedEnvironment env;
    auto sent = platform::msgport::send_to_name("msgports", "nobody", bytes_of("x"));
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error().status, -600);
}

TEST(NamedSocket, BadNamesAndUnsafeFoldersAreRefused) {
    IsolatedEnvironment env;
    for (const std::string& name : {std::string(), std::string("."), std::string(".."),
                                    std::string("a/b"), std::string(200, 'x')}) {
        auto claimed = NamedSocket::claim("msgports", name);
        EXPECT_FALSE(claimed) << name;
        EXPECT_FALSE(platform::msgport::send_to_name("msgports", name, bytes_of("x")));
    }
    std::filesystem::create_directories(env.runtime_dir() / "msgports");
    std::filesystem::permissions(env.runtime_dir() / "msgports", std::filesystem::perms::all,
                                 std::filesystem::perm_options::replace);
    auto open_folder = NamedSocket::claim("msgports", "port");
    ASSERT_FALSE(open_folder);
    EXPECT_NE(open_folder.error().status, platform::os_status::portNameExistsErr);
    EXPECT_FALSE(std::filesystem::exists(env.runtime_dir() / "msgports/port"));
}

TEST(NamedSocket, SendersTrustNoSocketInAFolderOthersCouldWriteTo) {
    IsolatedEnvironment env;
    NamedSocket served = claim_ok("port");
    // As if another user had made the folder and put a socket of theirs under the name.
    std::filesystem::permissions(env.runtime_dir() / "msgports", std::filesystem::perms::all,
                                 std::filesystem::perm_options::replace);
    auto sent = platform::msgport::send_to_name("msgports", "port", bytes_of("secret"));
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error().status, -600);
    std::array<std::byte, 16> buffer{};
    auto received = served.receive(buffer);
    ASSERT_TRUE(received);
    EXPECT_FALSE(*received);
}

TEST(NamedSocket, DatagramsOfOtherUsersAreDropped) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    IsolatedEnvironment env;
    NamedSocket server = claim_ok("port");

    // The child connects while it is still root, so the socket's permissions let it in; the
    // credentials of the send itself are those of the user it then became.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, server.socket_path().c_str());
        if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            _exit(2);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
        _exit(::send(socket.get(), "intruder", 8, 0) == 8 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the other user's send itself succeeded";

    ASSERT_TRUE(platform::msgport::send_to_name("msgports", "port", bytes_of("friend")));
    EXPECT_EQ(receive_text(server), "friend");
    EXPECT_EQ(receive_text(server), std::nullopt);
}

}  // namespace
