#pragma once
// A test's private world: temporary runtime, configuration and home folders in the environment,
// and a temporary file-system root for the system's fixed paths. The session bus and the service
// manager's notification socket of whoever runs the tests are taken out of the environment, so
// that nothing a test starts reaches them. Restores everything when it
// goes away, so it can be a fixture member.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace testing_support {

class IsolatedEnvironment {
public:
    IsolatedEnvironment();
    IsolatedEnvironment(const IsolatedEnvironment&) = delete;
    IsolatedEnvironment& operator=(const IsolatedEnvironment&) = delete;
    ~IsolatedEnvironment();

    const std::filesystem::path& base() const { return temp_.path(); }
    std::filesystem::path runtime_dir() const { return temp_ / "runtime"; }
    std::filesystem::path config_home() const { return temp_ / "config"; }
    std::filesystem::path home() const { return temp_ / "home"; }
    // The folder that stands for "/" of the system's fixed paths.
    std::filesystem::path root() const { return temp_ / "root"; }

private:
    void set_env(const char* name, const std::optional<std::string>& value);

    TempDir temp_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::filesystem::path saved_root_;
};

}  // namespace testing_support
