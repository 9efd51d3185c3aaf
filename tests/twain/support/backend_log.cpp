#include "tests/twain/support/backend_log.hpp"

#include <cstdlib>
#include <fstream>

namespace twain_testing {

BackendLog::BackendLog(std::filesystem::path file) : file_(std::move(file)) {
    ::setenv("TWAIN_TEST_BACKEND_LOG", file_.c_str(), 1);
}

std::vector<std::string> BackendLog::lines() const {
    std::vector<std::string> result;
    std::ifstream in(file_);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::vector<std::string> BackendLog::lines(const std::string& word) const {
    std::vector<std::string> result;
    for (auto& line : lines()) {
        if (line.rfind(word + " ", 0) == 0) result.push_back(std::move(line));
    }
    return result;
}

}  // namespace twain_testing
