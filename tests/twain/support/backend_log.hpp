#pragma once
// The event log of the test backend (tests/twain/test_backend): one line per event.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/twain/support/hex_text.hpp"

namespace twain_testing {

// Lets the test backend log to the file (TWAIN_TEST_BACKEND_LOG) and reads the lines back.
class BackendLog {
public:
    explicit BackendLog(std::filesystem::path file);
    std::vector<std::string> lines() const;
    // The lines that start with the word ("init", "triplet", ...).
    std::vector<std::string> lines(const std::string& word) const;

private:
    std::filesystem::path file_;
};

}  // namespace twain_testing
