// The monitor answers --help and --version and starts on any other argument.

#include "monitor/core/arguments.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::optional<std::string> Answer(std::initializer_list<const char*> arguments) {
    std::vector<const char*> argv{"button-monitor"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(nullptr);
    return monitor::AnswerArguments(static_cast<int>(argv.size() - 1), argv.data());
}

TEST(MonitorArguments, VersionAndHelpAreAnsweredWhereverTheyStand) {
    EXPECT_EQ(Answer({"--version"}), "button-monitor " PROJECT_VERSION "\n");
    EXPECT_EQ(Answer({"--unknown", "--version"}), Answer({"--version"}));
    const auto help = Answer({"--help"});
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->starts_with("Usage: button-monitor [--help | --version]\n")) << *help;
    EXPECT_EQ(Answer({"--help", "--version"}), help) << "the first one asked for";
}

TEST(MonitorArguments, AnyOtherArgumentStartsTheMonitor) {
    EXPECT_EQ(Answer({}), std::nullopt);
    for (const char* argument : {"-h", "-V", "--verbose", "help", "--help=yes", "--versions", ""}) {
        EXPECT_EQ(Answer({argument, "--later"}), std::nullopt) << argument;
    }
}

}  // namespace
