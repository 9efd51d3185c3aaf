#pragma once
// An inspector on a scanner bundle laid out in the test's own folders.

#include <gtest/gtest.h>

#include "platform/plist/describe.hpp"
#include "platform/plist/value.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"
#include "twain/inspector/tds_property_inspector.hpp"

namespace twain_testing {

class InspectorTest : public ::testing::Test {
protected:
    std::filesystem::path bundle() const { return scanner_bundle_path(env_.root()); }

    twain::TDSPropertyInspector inspect(const platform::plist::Value& info,
                                        std::initializer_list<std::string_view> profiles = {}) {
        lay_out_scanner_bundle(bundle(), info, profiles);
        return twain::TDSPropertyInspector::initWithBackendURL(
            platform::plist::Value::file_url(bundle()));
    }

    testing_support::IsolatedEnvironment env_;
};

}  // namespace twain_testing
