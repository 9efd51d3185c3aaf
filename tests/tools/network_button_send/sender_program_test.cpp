// The sender as a program: the datagram it puts on the port, and what it says without a server.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "platform/msgport/named_socket.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using platform::msgport::NamedSocket;
using testing_support::IsolatedEnvironment;

struct Run {
    int status;
    std::string out;
    std::string err;
};

Run run_sender(const IsolatedEnvironment& env, const std::string& arguments) {
    const auto out = env.base() / "out";
    const auto err = env.base() / "err";
    const std::string command =
        std::string(SENDER_PROGRAM) + " " + arguments + " >" + out.string() + " 2>" + err.string();
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing_support::read_file(out),
            testing_support::read_file(err)};
}

NamedSocket serve(std::string_view name) {
    auto claimed = NamedSocket::claim("msgports", name);
    if (!claimed) std::abort();
    return std::move(claimed).value();
}

std::vector<std::uint8_t> next_datagram(NamedSocket& socket) {
    std::vector<std::byte> buffer(64);
    auto received = socket.receive(buffer);
    if (!received || !*received) return {};
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < (*received)->size; ++i)
        bytes.push_back(std::to_integer<std::uint8_t>(buffer[i]));
    return bytes;
}

TEST(SenderProgram, SendsTheMessageIdAndTheTwelveBytes) {
    IsolatedEnvironment env;
    NamedSocket port = serve("OSPREY_HID_MSG_PORT");
    const auto run = run_sender(env,
                                "scan --type 2 --direct 5 --resolution 0x2c --address 10.0.0.200 "
                                "--message-id 0x01020304");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "sent 01 01 2c 00 00 00 02 05 / 10.0.0.200 to OSPREY_HID_MSG_PORT\n");
    EXPECT_EQ(next_datagram(port),
              (std::vector<std::uint8_t>{4, 3, 2, 1, 1, 1, 0x2c, 0, 0, 0, 2, 5, 10, 0, 0, 200}));
}

TEST(SenderProgram, SendsToANamedPort) {
    IsolatedEnvironment env;
    NamedSocket port = serve("other");
    const auto run = run_sender(env, "-p other end-scan --address=192.168.1.7");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(next_datagram(port),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0x99, 0, 192, 168, 1, 7}));
}

TEST(SenderProgram, WithoutAServerSaysSoInOneLine) {
    IsolatedEnvironment env;
    const auto run = run_sender(env, "refresh --address 10.0.0.5");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "network-button-send: nobody serves OSPREY_HID_MSG_PORT\n");
    EXPECT_EQ(run.out, "");
}

TEST(SenderProgram, ABadCommandLineIsStatusTwo) {
    IsolatedEnvironment env;
    const auto run = run_sender(env, "scan --address 10.0.0.5");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "network-button-send: scan needs --type (see --help)\n");
    EXPECT_EQ(run_sender(env, "--help").status, 0);
}

}  // namespace
