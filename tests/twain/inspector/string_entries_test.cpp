// Info.plist and features-file entries stored as strings: each is read as the framework's string
// objects answer intValue, doubleValue and boolValue, and every operation built on one of those
// answers follows from it.

#include <limits>

#include <gtest/gtest.h>

#include "tests/twain/inspector/inspector_fixture.hpp"

namespace {

using platform::plist::Value;
using twain_testing::InspectorTest;

constexpr const char* kFeatures = "/Library/Printers/Velmora/QSA.plist";
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr double kHuge = std::numeric_limits<double>::infinity();

struct StringCase {
    const char* text;
    std::int32_t intValue;
    double doubleValue;
    bool boolValue;
};

void PrintTo(const StringCase& c, std::ostream* out) {
    *out << '"';
    for (const char* p = c.text; *p; ++p) {
        if (*p == '\t')
            *out << "\\t";
        else if (*p == '\n')
            *out << "\\n";
        else
            *out << *p;
    }
    *out << '"';
}

class StringEntryTest : public InspectorTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringEntryTest, ReadsAsTheFrameworksStringConversions) {
    const auto& c = GetParam();
    const auto text = Value::string(c.text);
    const auto inspector = inspect(Value::dictionary({
        {"ScannerVID", text},
        {"ScannerWidth", text},
        {"SupportsADF", text},
        {"IsADFFlipped", text},
        {"AllowADFPreview", text},
        {"ObjCTypeScanDriverBundle", text},
        {"OpticalXResolution", text},
        {"SupportedResolutions", Value::array({Value::integer(75), Value::integer(150), text})},
        {"OpticalXResolutionADF", Value::integer(2)},
        {"QSAPlistPath", Value::string(kFeatures)},
    }));
    twain_testing::write_plist(
        env_.root() / "Library/Printers/Velmora/QSA.plist",
        Value::dictionary({{"Features", Value::dictionary({{"Retractable USB Support", text}})}}));

    EXPECT_EQ(inspector.scannerVID(), c.intValue);
    EXPECT_EQ(inspector.opticalXResolutionIndex(), c.intValue);
    EXPECT_EQ(inspector.adfOpticalXResolution(), c.intValue) << "a list entry";
    EXPECT_EQ(inspector.scannerWidth(), c.doubleValue);
    EXPECT_EQ(inspector.supportsADFScanning(), c.intValue == 1);
    EXPECT_EQ(inspector.isADFFlipped(), c.intValue == 1);
    EXPECT_EQ(inspector.allowADFPreview(), c.intValue != 0);
    EXPECT_EQ(inspector.isObjCTypeScannerDriverBundle(), c.intValue > 0);
    EXPECT_EQ(inspector.retractableUSBSupport(), c.boolValue ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StringEntryTest,
    ::testing::Values(
        // Words: only boolValue reads them, by their first letter.
        StringCase{"NO", 0, 0.0, false}, StringCase{"YES", 0, 0.0, true},
        StringCase{"no", 0, 0.0, false}, StringCase{"yes", 0, 0.0, true},
        StringCase{"true", 0, 0.0, true}, StringCase{"False", 0, 0.0, false},
        StringCase{"T", 0, 0.0, true}, StringCase{"nan", 0, 0.0, false},
        StringCase{"inf", 0, 0.0, false}, StringCase{"", 0, 0.0, false},
        StringCase{" \t\n", 0, 0.0, false},
        // Numbers: the leading number, blanks before it skipped, anything after it ignored.
        StringCase{"0", 0, 0.0, false}, StringCase{"1", 1, 1.0, true},
        StringCase{"2", 2, 2.0, true}, StringCase{"-1", -1, -1.0, true},
        StringCase{" \t\n 5 dpi", 5, 5.0, true}, StringCase{"+183", 183, 183.0, true},
        StringCase{"007", 7, 7.0, true}, StringCase{"-0", 0, -0.0, false},
        StringCase{"000", 0, 0.0, false}, StringCase{"8.5in", 8, 8.5, true},
        StringCase{"-2.9", -2, -2.9, true}, StringCase{".5", 0, 0.5, false},
        StringCase{"1e3", 1, 1000.0, true}, StringCase{"2E-1", 2, 0.2, true},
        StringCase{"3e", 3, 3.0, true}, StringCase{"0x1E33", 0, 0.0, false},
        StringCase{"7,5", 7, 7.0, true}, StringCase{"--1", 0, 0.0, false},
        StringCase{"+-1", 0, 0.0, false}, StringCase{"0ab", 0, 0.0, false},
        // Beyond the range: intValue stops at the limits, doubleValue at infinity.
        StringCase{"2147483647", kIntMax, 2147483647.0, true},
        StringCase{"99999999999", kIntMax, 99999999999.0, true},
        StringCase{"-2147483648", kIntMin, -2147483648.0, true},
        StringCase{"-99999999999", kIntMin, -99999999999.0, true},
        StringCase{"1e999", 1, kHuge, true}, StringCase{"-1e999", -1, -kHuge, true},
        StringCase{"1e-999", 1, 0.0, true}));

// Entries of a kind that has no number in it stay missing, so their operations give the defaults.
TEST_F(InspectorTest, EntriesWithoutANumberKindCountAsMissing) {
    for (const auto& stored :
         {Value::array({Value::string("1")}), Value::dictionary({{"Value", Value::integer(1)}}),
          Value::data({'1'}), Value::date({86400.0})}) {
        const auto inspector =
            inspect(Value::dictionary({{"ScannerVID", stored},
                                       {"ScannerWidth", stored},
                                       {"AllowADFPreview", stored},
                                       {"QSAPlistPath", Value::string(kFeatures)}}));
        twain_testing::write_plist(
            env_.root() / "Library/Printers/Velmora/QSA.plist",
            Value::dictionary(
                {{"Features", Value::dictionary({{"Retractable USB Support", stored}})}}));
        EXPECT_EQ(inspector.scannerVID(), -1) << stored;
        EXPECT_EQ(inspector.scannerWidth(), -1.0) << stored;
        EXPECT_TRUE(inspector.allowADFPreview()) << stored;
        EXPECT_EQ(inspector.retractableUSBSupport(), 0) << stored;
    }
}

}  // namespace
