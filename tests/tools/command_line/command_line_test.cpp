// The companion tools' command-line reader: the forms getopt_long takes, operands among options,
// the refusals, and a reading after an earlier one that stopped half-way.

#include "tools/command_line/command_line.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>

namespace {

using tools::command_line::Option;
using tools::command_line::Request;

// Two options with values, one long-only, and two flags.
constexpr Option kTable[] = {
    {"address", 'a', true}, {"port", 'p', true},  {"message-id", 0, true},
    {"feeder", 'f', false}, {"poll", 'o', false},
};

struct Reading {
    std::map<std::string, std::vector<std::string>> values;  // option name -> values given
    std::vector<std::string> operands;
    Request request = Request::Run;
    std::string error;
};

Reading read(const std::vector<std::string>& arguments) {
    Reading reading;
    auto read = tools::command_line::read(
        arguments, kTable, [&](std::size_t option, const std::string& value) {
            if (value == "refused") return platform::Result<void>(platform::Error{"refused value"});
            reading.values[kTable[option].name].push_back(value);
            return platform::Result<void>();
        });
    if (!read) {
        reading.error = read.error().message;
        return reading;
    }
    reading.operands = read->operands;
    reading.request = read->request;
    return reading;
}

class ValueForms : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(ValueForms, GiveTheSameValue) {
    const auto reading = read(GetParam());
    EXPECT_EQ(reading.error, "");
    EXPECT_EQ(reading.values, (std::map<std::string, std::vector<std::string>>{
                                  {"address", {"10.0.0.5"}}, {"message-id", {"-7"}}}));
    EXPECT_TRUE(reading.operands.empty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ValueForms,
    ::testing::Values(std::vector<std::string>{"--address", "10.0.0.5", "--message-id", "-7"},
                      std::vector<std::string>{"--address=10.0.0.5", "--message-id=-7"},
                      std::vector<std::string>{"-a", "10.0.0.5", "--message-id", "-7"},
                      std::vector<std::string>{"-a10.0.0.5", "--message-id=-7"},
                      std::vector<std::string>{"--addr=10.0.0.5", "--mess", "-7"}));

TEST(CommandLine, OperandsKeepTheirOrderAmongOptionsAndAfterTheEnd) {
    // Whatever POSIXLY_CORRECT says: the tools take their options after the command word too.
    for (const bool posix : {false, true}) {
        if (posix) {
            ::setenv("POSIXLY_CORRECT", "1", 1);
        } else {
            ::unsetenv("POSIXLY_CORRECT");
        }
        const auto reading =
            read({"scan", "-fo", "--port", "p", "two", "-", "--", "--feeder", "-a"});
        EXPECT_EQ(reading.error, "") << posix;
        EXPECT_EQ(reading.operands,
                  (std::vector<std::string>{"scan", "two", "-", "--feeder", "-a"}))
            << posix;
        EXPECT_EQ(reading.values, (std::map<std::string, std::vector<std::string>>{
                                      {"feeder", {""}}, {"poll", {""}}, {"port", {"p"}}}))
            << posix;
    }
    ::unsetenv("POSIXLY_CORRECT");
}

TEST(CommandLine, HelpAndVersionAreEveryTools) {
    EXPECT_EQ(read({"--help"}).request, Request::Help);
    EXPECT_EQ(read({"-h", "operand"}).request, Request::Help);
    EXPECT_EQ(read({"--version"}).request, Request::Version);
    EXPECT_EQ(read({"-V"}).request, Request::Version);
    EXPECT_EQ(read({"-V", "--help"}).request, Request::Help);
    EXPECT_EQ(read({"--port", "p"}).request, Request::Run);
}

struct Refusal {
    std::vector<std::string> arguments;
    std::string error;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << ::testing::PrintToString(refusal.arguments);
}

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, SayWhatIsWrong) { EXPECT_EQ(read(GetParam().arguments).error, GetParam().error); }

INSTANTIATE_TEST_SUITE_P(
    CommandLine, Refusals,
    ::testing::Values(Refusal{{"--verbose"}, "unknown option --verbose"},
                      Refusal{{"--verbose=2"}, "unknown option --verbose"},
                      Refusal{{"-z"}, "unknown option -z"}, Refusal{{"-fz"}, "unknown option -z"},
                      Refusal{{"--p"}, "unknown option --p"},  // --port or --poll
                      Refusal{{"--address"}, "--address needs a value"},
                      Refusal{{"-p"}, "--port needs a value"},
                      Refusal{{"--message-id"}, "--message-id needs a value"},
                      Refusal{{"--address="}, "--address needs a value"},
                      Refusal{{"--address", ""}, "--address needs a value"},
                      Refusal{{"--feeder=yes"}, "--feeder takes no value"},
                      Refusal{{"--help=me"}, "--help takes no value"},
                      Refusal{{"-a", "refused", "--bogus"}, "refused value"}));

TEST(CommandLine, AReadingStartsAfreshAfterOneThatStoppedInsideAGroup) {
    EXPECT_EQ(read({"-fzo"}).error, "unknown option -z");
    const auto reading = read({"-o", "word"});
    EXPECT_EQ(reading.error, "");
    EXPECT_EQ(reading.operands, std::vector<std::string>{"word"});
    EXPECT_EQ(reading.values, (std::map<std::string, std::vector<std::string>>{{"poll", {""}}}));
}

TEST(CommandLine, TheVersionTextNamesTheProgramAndTheBuildsVersion) {
    EXPECT_EQ(tools::command_line::version_text("tool"),
              "tool (Velmora scanner software) " PROJECT_VERSION "\n");
}

}  // namespace
