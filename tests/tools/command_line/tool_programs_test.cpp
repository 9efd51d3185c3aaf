// Every companion tool as a program: --version and -V print the one version text, --help
// describes the tool, and a mistake is refused with status 2, in the tool's own name.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/program_run.hpp"

namespace {

using testing_support::run_to_end;

struct Tool {
    const char* name;
    const char* program;
};

void PrintTo(const Tool& tool, std::ostream* out) { *out << tool.name; }

class ToolPrograms : public ::testing::TestWithParam<Tool> {};

TEST_P(ToolPrograms, AnswerVersionAndHelpAndRefuseMistakes) {
    const Tool tool = GetParam();
    const std::string version =
        std::string(tool.name) + " (Velmora scanner software) " PROJECT_VERSION "\n";
    for (const char* option : {"--version", "-V"}) {
        const auto run = run_to_end({tool.program, option});
        EXPECT_EQ(run.status, 0) << option;
        EXPECT_EQ(run.out, version) << option;
        EXPECT_EQ(run.err, "") << option;
    }
    for (const char* option : {"--help", "-h"}) {
        const auto run = run_to_end({tool.program, option});
        EXPECT_EQ(run.status, 0) << option;
        EXPECT_NE(run.out.find(tool.name), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("--version"), std::string::npos) << run.out;
    }
    for (const char* mistake : {"--no-such-option", "--version=2"}) {
        const auto run = run_to_end({tool.program, mistake});
        EXPECT_EQ(run.status, 2) << mistake;
        EXPECT_EQ(run.out, "") << mistake;
        EXPECT_EQ(run.err.rfind(std::string(tool.name) + ": ", 0), 0U) << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolPrograms,
                         ::testing::Values(Tool{"network-button-send", SENDER_PROGRAM},
                                           Tool{"scan-destination-standin", STANDIN_PROGRAM},
                                           Tool{"scanner-library-sample", SAMPLE_PROGRAM},
                                           Tool{"twain-host", TWAIN_HOST}),
                         [](const auto& test) {
                             std::string name = test.param.name;
                             for (char& c : name) c = c == '-' ? '_' : c;
                             return name;
                         });

}  // namespace
