#pragma once
// Running a program to its end and keeping what it printed, for tests of whole programs and
// scripts.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramRun {
    int status = -1;  // the exit status; -1 when it did not exit (a signal ended it)
    std::string out;
    std::string err;
};

// Runs the program (argv[0] is found through PATH as a shell would) with standard input from
// /dev/null and waits for it. `environment` sets variables on top of the test's own; a variable
// given as nullopt is removed.
ProgramRun run_to_end(const std::vector<std::string>& argv,
                      const std::map<std::string, std::optional<std::string>>& environment = {});

}  // namespace testing_support
