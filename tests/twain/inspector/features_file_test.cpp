#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"
#include "tests/twain/inspector/inspector_fixture.hpp"

namespace {

using platform::plist::Value;
using twain_testing::InspectorTest;

constexpr const char* kFeatures = "/Library/Printers/Velmora/QSA.plist";

class FeaturesFileTest : public InspectorTest {
protected:
    std::filesystem::path features() const {
        return env_.root() / "Library/Printers/Velmora/QSA.plist";
    }
    int retractable() {
        return inspect(Value::dictionary({{"QSAPlistPath", Value::string(kFeatures)}}))
            .retractableUSBSupport();
    }
};

TEST_F(FeaturesFileTest, TheFlagIsReadFromTheFileInTheSystemsView) {
    twain_testing::write_features_file(features(), true);
    EXPECT_EQ(retractable(), 1);
    twain_testing::write_features_file(features(), false);
    EXPECT_EQ(retractable(), 0);
}

TEST_F(FeaturesFileTest, TheFileIsReadAgainOnEveryCall) {
    const auto inspector = inspect(Value::dictionary({{"QSAPlistPath", Value::string(kFeatures)}}));
    EXPECT_EQ(inspector.retractableUSBSupport(), 0);
    twain_testing::write_features_file(features(), true);
    EXPECT_EQ(inspector.retractableUSBSupport(), 1);
}

TEST_F(FeaturesFileTest, AnythingMissingOnTheWayGivesZero) {
    EXPECT_EQ(inspect(Value::dictionary({})).retractableUSBSupport(), 0) << "no QSAPlistPath";
    EXPECT_EQ(retractable(), 0) << "no features file";

    const auto write = [&](const Value& contents) {
        twain_testing::write_plist(features(), contents);
    };
    write(Value::dictionary({{"Retractable USB Support", Value::boolean(true)}}));
    EXPECT_EQ(retractable(), 0) << "no Features dictionary";
    write(Value::dictionary({{"Features", Value::dictionary({{"Other", Value::boolean(true)}})}}));
    EXPECT_EQ(retractable(), 0) << "no Retractable USB Support entry";
    write(Value::dictionary({{"Features", Value::string("Retractable USB Support")}}));
    EXPECT_EQ(retractable(), 0) << "Features is not a dictionary";
    write(Value::array({Value::boolean(true)}));
    EXPECT_EQ(retractable(), 0) << "the file is not a dictionary";
    testing_support::write_file(features(), "<plist><dict><key>Features</key>");
    EXPECT_EQ(retractable(), 0) << "the file does not parse";
    write(Value::dictionary(
        {{"Features", Value::dictionary({{"Retractable USB Support", Value::integer(1)}})}}));
    EXPECT_EQ(retractable(), 1) << "a number reads as a flag";
}

TEST_F(FeaturesFileTest, OnlyARegularFileIsRead) {
    std::filesystem::create_directories(features().parent_path());
    // Opening a pipe with no writer would block for good.
    ASSERT_EQ(::mkfifo(features().c_str(), 0600), 0);
    EXPECT_EQ(retractable(), 0);
    std::filesystem::remove(features());
    std::filesystem::create_directories(features());
    EXPECT_EQ(retractable(), 0);
}

}  // namespace
