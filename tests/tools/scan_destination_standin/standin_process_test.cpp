// The stand-in as a program: what it prints, how it hands over, ends and lays itself out.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>

#include "platform/appevents/application_launch.hpp"
#include "platform/appevents/codes.hpp"
#include "platform/appevents/send_event.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/bundle/bundle.hpp"
#include "platform/msgport/named_socket.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

namespace ae = platform::appevents;
using platform::four_char_code;
using testing_support::IsolatedEnvironment;

constexpr platform::FourCharCode served_signature = four_char_code("QH06");

ae::Event scan_event(std::int32_t resolution, platform::FourCharCode signature = served_signature) {
    ae::Event event(
        four_char_code("BMon"), four_char_code("x772"),
        ae::Descriptor::create(ae::type_appl_signature, ae::host_bytes(signature)).value());
    event.put_parameter(
        four_char_code("rsln"),
        ae::Descriptor::create(ae::type_sint32, ae::host_bytes(resolution)).value());
    return event;
}

std::string shown(std::int32_t resolution, const char* heading = "event",
                  const char* signature = "'QH06'") {
    return std::string(heading) + " 'BMon' 'x772' (return ID -1, transaction ID 0) to 'sign' " +
           signature + "\n  'rsln' 'long' " + std::to_string(resolution) + "\n";
}

void write_event(const std::filesystem::path& path, const ae::Event& event) {
    const auto bytes = ae::encode_event(event);
    testing_support::write_file(
        path, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

class StandIn : public ::testing::Test {
protected:
    std::string log() const { return testing_support::read_file(log_); }
    bool log_has(const std::string& text) const { return log().find(text) != std::string::npos; }

    pid_t start(std::vector<std::string> extra = {},
                const std::optional<std::filesystem::path>& input = std::nullopt) {
        std::vector<std::string> argv{STANDIN_PROGRAM, "--pid-file", pid_file_.string(), "--log",
                                      log_.string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return testing_support::start_program(argv, input);
    }
    pid_t start_serving(std::vector<std::string> extra = {},
                        const std::optional<std::filesystem::path>& input = std::nullopt) {
        const pid_t child = start(std::move(extra), input);
        EXPECT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(pid_file_); }))
            << log();
        return child;
    }

    IsolatedEnvironment env_;
    testing_support::ChildProcessGuard children_;
    std::filesystem::path pid_file_ = env_.base() / "standin.pid";
    std::filesystem::path log_ = env_.base() / "standin.log";
};

TEST_F(StandIn, BadInputGetsOneErrorLineAndServingGoesOn) {
    start_serving();
    const std::vector<std::byte> truncated(9, std::byte{'a'});
    const std::vector<std::byte> oversized(70000, std::byte{0});
    auto unknown = scan_event(1);
    unknown.put_parameter(four_char_code("what"),
                          ae::Descriptor::create(four_char_code("zzzz"), truncated).value());
    auto bytes = ae::encode_event(scan_event(2));
    bytes.pop_back();  // an event cut short by one byte
    ASSERT_TRUE(platform::msgport::send_to_name("appevents", "QH06", truncated));
    ASSERT_TRUE(platform::msgport::send_to_name("appevents", "QH06", oversized));
    ASSERT_TRUE(ae::send_event(unknown));
    ASSERT_TRUE(platform::msgport::send_to_name("appevents", "QH06", bytes));
    ASSERT_TRUE(ae::send_event(scan_event(600)));

    ASSERT_TRUE(testing_support::wait_until([&] { return log_has(shown(600)); })) << log();
    const std::string text = log();
    EXPECT_NE(text.find("error: malformed event: 9 bytes are too few for a header\n"),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find("error: a datagram of 70000 bytes is larger than an event can be (65536)\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("error: event 'BMon' 'x772': parameter 'what' has unknown descriptor type "
                        "'zzzz' (9 bytes)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find(
            "error: malformed event: parameter 1 'rsln' has 4 bytes of data but only 3 follow\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(text.find("'rsln' 'long' 1\n"), std::string::npos)
        << "the event with the unknown type is not shown";
}

TEST_F(StandIn, ReadsItsLaunchEventFromAFileOnStandardInput) {
    write_event(env_.base() / "launch.bin", scan_event(300));
    start_serving({}, env_.base() / "launch.bin");
    ASSERT_TRUE(ae::send_event(scan_event(301)));
    ASSERT_TRUE(testing_support::wait_until([&] { return log_has(shown(301)); })) << log();
    EXPECT_EQ(log().find(shown(300, "launch event")), 0U)
        << "the launch event comes first: " << log();
}

TEST_F(StandIn, AMalformedLaunchEventIsReportedAndServingGoesOn) {
    testing_support::write_file(env_.base() / "junk.bin", "junk");
    start_serving({}, env_.base() / "junk.bin");
    EXPECT_TRUE(log_has("error: launch event: malformed event")) << log();
    ASSERT_TRUE(ae::send_event(scan_event(5)));
    EXPECT_TRUE(testing_support::wait_until([&] { return log_has(shown(5)); })) << "still serving";
}

TEST_F(StandIn, ASecondInstanceHandsItsLaunchEventToTheFirstAndExits) {
    const pid_t first = start_serving();
    write_event(env_.base() / "launch.bin", scan_event(1200, four_char_code("ELSE")));
    const pid_t second = start({"--launch-event", (env_.base() / "launch.bin").string()});
    const auto status = testing_support::wait_for_exit(second);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    // Handed on as it was, whatever signature its target names.
    EXPECT_TRUE(testing_support::wait_until([&] {
        return log_has(shown(1200, "event", "'ELSE'"));
    })) << log();
    EXPECT_TRUE(log_has("handed the launch event to the instance serving 'QH06'\n"));
    EXPECT_EQ(testing_support::read_pid_file(pid_file_), first) << "the pid file stays the first's";

    const pid_t third = start();  // nothing to hand over
    const auto third_status = testing_support::wait_for_exit(third);
    ASSERT_TRUE(third_status);
    EXPECT_TRUE(WIFEXITED(*third_status) && WEXITSTATUS(*third_status) == 0);
}

TEST_F(StandIn, EndsInOrderOnTermination) {
    const pid_t child = start_serving();
    ASSERT_EQ(testing_support::read_pid_file(pid_file_), child);
    ::kill(child, SIGTERM);
    const auto status = testing_support::wait_for_exit(child);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_FALSE(std::filesystem::exists(pid_file_));
    EXPECT_EQ(ae::send_event(scan_event(1)).error().status, -600);
}

TEST_F(StandIn, LaysItselfOutAsALaunchableBundle) {
    testing_support::adopt_orphans();
    // Paths a shell would split or unquote.
    const auto folder = env_.base() / "it's an app.app";
    const auto odd_log = env_.base() / "log $HOME 'x'.txt";
    const pid_t maker = testing_support::start_program(
        {STANDIN_PROGRAM, "--make-bundle", folder.string(), "--signature", "TSTa", "--log",
         odd_log.string(), "--pid-file", pid_file_.string()});
    const auto made = testing_support::wait_for_exit(maker);
    ASSERT_TRUE(made && WIFEXITED(*made) && WEXITSTATUS(*made) == 0);

    auto bundle = platform::bundle::Bundle::open(folder);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->info_string("CFBundleSignature"), "TSTa");
    EXPECT_EQ(bundle->info_string("CFBundlePackageType"), "APPL");
    ASSERT_TRUE(bundle->executable_path());

    const auto launch = ae::encode_event(scan_event(77, four_char_code("TSTa")));
    auto launched = ae::launch_application(folder, launch);
    ASSERT_TRUE(launched) << launched.error().message;
    ASSERT_TRUE(testing_support::wait_until([&] { return std::filesystem::exists(pid_file_); }));
    EXPECT_EQ(testing_support::read_pid_file(pid_file_), *launched)
        << "the script execs the program";
    EXPECT_NE(testing_support::read_file(odd_log).find(shown(77, "launch event", "'TSTa'")),
              std::string::npos)
        << testing_support::read_file(odd_log);
}

TEST(StandInCommandLine, HelpExplainsAndMistakesAreRefused) {
    auto run = [](const std::string& arguments, std::string& output) {
        std::FILE* pipe =
            ::popen((std::string(STANDIN_PROGRAM) + " " + arguments + " 2>&1").c_str(), "r");
        char chunk[4096];
        output.clear();
        while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe))
            output.append(chunk, got);
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string output;
    EXPECT_EQ(run("--help", output), 0);
    EXPECT_EQ(output.rfind("Usage: scan-destination-standin", 0), 0U) << output;
    for (const char* option :
         {"--signature", "--pid-file", "--log", "--launch-event", "--make-bundle"}) {
        EXPECT_NE(output.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(run("--frobnicate", output), 2);
    EXPECT_NE(output.find("unknown option --frobnicate"), std::string::npos) << output;
    EXPECT_EQ(run("--signature QH6", output), 2);
    EXPECT_EQ(run("--log", output), 2);
}

}  // namespace
