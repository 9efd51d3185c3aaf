#pragma once
// A test's private world for the backend: the system's fixed paths rooted in a temporary folder
// holding the scanner bundle and this backend bundle where twain-source looks for them, and a
// SANE configuration folder (SANE_CONFIG_DIR) whose dll.conf names only SANE's "test" backend,
// with the test device's own settings in test.conf.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/isolated_environment.hpp"

namespace sane_testing {

class SaneWorld {
public:
    // test_conf: lines of the test device's test.conf ("mode Color", "test-picture Grid",
    // "hand-scanner true", "read-status-code SANE_STATUS_JAMMED", ...); one device by default.
    explicit SaneWorld(const std::vector<std::string>& test_conf = {});

    // Rewrites test.conf; the device reads it when SANE starts (on the next MSG_OPENDS).
    void configure(const std::vector<std::string>& test_conf) const;
    // A dll.conf that names no backend at all: SANE lists no device.
    void without_devices() const;

    const testing_support::IsolatedEnvironment& environment() const { return env_; }
    std::filesystem::path sane_config() const { return env_.base() / "sane.d"; }
    std::filesystem::path scratch() const { return env_.base() / "scratch"; }

private:
    testing_support::IsolatedEnvironment env_;
};

}  // namespace sane_testing
