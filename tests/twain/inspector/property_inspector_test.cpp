#include <gtest/gtest.h>

#include "tests/twain/inspector/inspector_fixture.hpp"

namespace {

using platform::plist::Value;
using twain::TDSPropertyInspector;
using twain_testing::InspectorTest;

Value resolutions(std::initializer_list<std::int64_t> numbers) {
    std::vector<Value> items;
    for (const auto number : numbers) items.push_back(Value::integer(number));
    return Value::array(std::move(items));
}

Value info(std::vector<platform::plist::Entry> entries) {
    return Value::dictionary(std::move(entries));
}

TEST_F(InspectorTest, ResolutionsAreLookedUpInTheListByIndex) {
    const auto list = resolutions({75, 150, 300, 600});
    auto inspector = inspect(info({{"SupportedResolutions", list},
                                   {"OpticalXResolution", Value::integer(2)},
                                   {"OpticalYResolution", Value::integer(4)},
                                   {"OpticalXResolutionADF", Value::integer(0)},
                                   {"OpticalYResolutionADF", Value::integer(-1)}}));
    EXPECT_EQ(inspector.supportedResolutions(), list);
    EXPECT_EQ(inspector.opticalXResolutionIndex(), 2);
    EXPECT_EQ(inspector.opticalXResolution(), 300);
    EXPECT_EQ(inspector.opticalYResolutionIndex(), 4);
    EXPECT_EQ(inspector.opticalYResolution(), -1) << "index 4 is past the end of four";
    EXPECT_EQ(inspector.adfOpticalXResolution(), 75);
    EXPECT_EQ(inspector.adfOpticalYResolution(), -1);

    inspector = inspect(info({{"SupportedResolutions", list}}));
    EXPECT_EQ(inspector.opticalXResolutionIndex(), -1);
    EXPECT_EQ(inspector.opticalXResolution(), -1);
    EXPECT_EQ(inspector.adfOpticalXResolutionIndex(), -1);
    EXPECT_EQ(inspector.adfOpticalYResolution(), -1);
}

TEST_F(InspectorTest, WithoutAListEveryResolutionIsMissing) {
    const auto perColor = Value::dictionary({{"Best", Value::integer(0)}});
    for (const auto& list : {Value(), Value::string("75, 150")}) {
        std::vector<platform::plist::Entry> entries = {
            {"OpticalXResolution", Value::integer(0)},
            {"OpticalYResolution", Value::integer(0)},
            {"OpticalXResolutionADF", Value::integer(0)},
            {"OpticalYResolutionADF", Value::integer(0)}};
        if (list) entries.emplace_back("SupportedResolutions", list);
        const auto inspector = inspect(info(std::move(entries)));
        EXPECT_TRUE(inspector.supportedResolutions().is_null()) << list;
        EXPECT_EQ(inspector.opticalXResolution(), -1);
        EXPECT_EQ(inspector.opticalYResolution(), -1);
        EXPECT_EQ(inspector.adfOpticalXResolution(), -1);
        EXPECT_EQ(inspector.adfOpticalYResolution(), -1);
        EXPECT_EQ(inspector.copyResolutionForColor(perColor, Value::string("Best")), -1);
    }
}

TEST_F(InspectorTest, FlagsAreYesOnlyForTheirOwnValues) {
    struct Case {
        Value stored;
        bool adf;
        bool preview;
        bool objc;
    };
    const Case cases[] = {
        {Value::integer(1), true, true, true},    {Value::integer(0), false, false, false},
        {Value::integer(2), false, true, true},   {Value::integer(-1), false, true, false},
        {Value::integer(3), false, true, true},   {Value::integer(5), false, true, true},
        {Value::boolean(true), true, true, true}, {Value::boolean(false), false, false, false},
        {Value::real(1.5), true, true, true},     {Value::real(-0.5), false, false, false},
    };
    for (const auto& c : cases) {
        const auto inspector = inspect(info({{"SupportsADF", c.stored},
                                             {"IsADFFlipped", c.stored},
                                             {"AllowADFPreview", c.stored},
                                             {"ObjCTypeScanDriverBundle", c.stored}}));
        EXPECT_EQ(inspector.supportsADFScanning(), c.adf) << c.stored;
        EXPECT_EQ(inspector.isADFFlipped(), c.adf) << c.stored;
        EXPECT_EQ(inspector.allowADFPreview(), c.preview) << c.stored;
        EXPECT_EQ(inspector.isObjCTypeScannerDriverBundle(), c.objc) << c.stored;
    }
    const auto empty = inspect(info({}));
    EXPECT_FALSE(empty.supportsADFScanning());
    EXPECT_FALSE(empty.isADFFlipped());
    EXPECT_TRUE(empty.allowADFPreview());
    EXPECT_FALSE(empty.isObjCTypeScannerDriverBundle());
}

// Strings are read as text (string_entries_test.cpp); numbers of every kind convert.
TEST_F(InspectorTest, NumbersConvertIntoEachOther) {
    const auto inspector = inspect(info({{"ScannerWidth", Value::integer(8)},
                                         {"ScannerHeight", Value::boolean(true)},
                                         {"ScannerVID", Value::real(7731.9)},
                                         {"ScannerPID", Value::real(-183.9)},
                                         {"OpticalXResolution", Value::integer(0x100000001)},
                                         {"OpticalYResolution", Value::boolean(true)},
                                         {"SupportedResolutions", resolutions({75, 150})}}));
    EXPECT_EQ(inspector.scannerWidth(), 8.0);
    EXPECT_EQ(inspector.scannerHeight(), 1.0);
    EXPECT_EQ(inspector.scannerVID(), 7731) << "a real is cut toward zero";
    EXPECT_EQ(inspector.scannerPID(), -183);
    EXPECT_EQ(inspector.opticalXResolution(), 150) << "the low 32 bits of a wider integer";
    EXPECT_EQ(inspector.opticalYResolution(), 150) << "YES reads as 1";
}

TEST_F(InspectorTest, MissingEntriesGiveTheDefaults) {
    const auto inspector = inspect(info({}));
    EXPECT_EQ(inspector.scannerWidth(), -1.0);
    EXPECT_EQ(inspector.scannerHeight(), -1.0);
    EXPECT_EQ(inspector.adfScannerWidth(), -1.0);
    EXPECT_EQ(inspector.scannerVID(), -1);
    EXPECT_EQ(inspector.scannerPID(), -1);
    EXPECT_TRUE(inspector.defaultResolution().is_null());
    EXPECT_TRUE(inspector.helpPath().is_null());
    EXPECT_TRUE(inspector.getProductName().is_null());
    EXPECT_TRUE(inspector.defaultFileName().is_null());
    EXPECT_EQ(inspector.retractableUSBSupport(), 0);
}

TEST_F(InspectorTest, ValuesAsStoredAreHandedOnUnconverted) {
    const auto help = Value::dictionary({{"Book", Value::string("Q580n Help")}});
    const auto inspector = inspect(info({{"DefaultResolution", Value::string("150")},
                                         {"HelpPath", help},
                                         {"IdProductName", Value::integer(580)},
                                         {"DefaultFileName", Value::string("Scan")}}));
    EXPECT_EQ(inspector.defaultResolution(), Value::string("150"));
    EXPECT_EQ(inspector.helpPath(), help);
    EXPECT_EQ(inspector.getProductName(), Value::integer(580));
    EXPECT_EQ(inspector.defaultFileName(), Value::string("Scan"));
}

TEST_F(InspectorTest, NoBundleGivesAnInspectorWithTheDefaults) {
    for (const auto& url : {Value(), Value::file_url(bundle()), Value::string(bundle().string())}) {
        const auto inspector = TDSPropertyInspector::initWithBackendURL(url);
        EXPECT_TRUE(inspector.supportedResolutions().is_null()) << url;
        EXPECT_EQ(inspector.opticalXResolution(), -1);
        EXPECT_EQ(inspector.scannerWidth(), -1.0);
        EXPECT_TRUE(inspector.allowADFPreview());
        EXPECT_FALSE(inspector.supportsADFScanning());
        EXPECT_FALSE(inspector.scannerICCProfileColorFilename());
    }
    std::filesystem::create_directories(bundle() / "Contents");
    const auto bare = TDSPropertyInspector::initWithBackendURL(Value::file_url(bundle()));
    EXPECT_EQ(bare.scannerVID(), -1) << "a bundle without Info.plist";
}

TEST_F(InspectorTest, TheInfoPlistIsReadOnceAndANewUrlReplacesIt) {
    auto inspector = inspect(info({{"ScannerVID", Value::integer(7731)}}));
    twain_testing::write_plist(bundle() / "Contents/Info.plist",
                               info({{"ScannerVID", Value::integer(1)}}));
    EXPECT_EQ(inspector.scannerVID(), 7731);

    inspector.setBackendURL(Value::file_url(env_.base() / "Elsewhere.bundle"));
    EXPECT_EQ(inspector.scannerVID(), -1) << "nothing of the first bundle is left";
    inspector.setBackendURL(Value::file_url(bundle()));
    EXPECT_EQ(inspector.scannerVID(), 1);
}

TEST_F(InspectorTest, CopyResolutionsPickAnIndexPerColourAndQuality) {
    const auto list = resolutions({75, 150, 300, 600});
    const auto copy = [&](Value quality) {
        return inspect(
            info({{"SupportedResolutions", list},
                  {"CopyResolutions",
                   Value::dictionary({{"Color", Value::dictionary({{"Best", quality}})}})}}));
    };
    EXPECT_EQ(copy(Value::integer(3))
                  .copyResolutionForColor(Value::string("Color"), Value::string("Best")),
              600);
    EXPECT_EQ(copy(Value::integer(4))
                  .copyResolutionForColor(Value::string("Color"), Value::string("Best")),
              -1);
    EXPECT_EQ(copy(Value::integer(-1))
                  .copyResolutionForColor(Value::string("Color"), Value::string("Best")),
              -1);
    const auto inspector = copy(Value::integer(0));
    EXPECT_EQ(inspector.copyResolutionForColor(Value::string("Color"), Value::string("Best")), 75);
    EXPECT_EQ(inspector.copyResolutionForColor(Value::string("Gray"), Value::string("Best")), -1);
    EXPECT_EQ(inspector.copyResolutionForColor(Value::string("Color"), Value::string("Draft")), -1);
    EXPECT_EQ(inspector.copyResolutionForColor(Value(), Value::string("Best")), -1);
    EXPECT_EQ(inspector.copyResolutionForColor(Value::string("Color"), Value()), -1);
    // With the entry present, a dictionary argument is a key, not the per-colour dictionary.
    EXPECT_EQ(inspector.copyResolutionForColor(Value::dictionary({{"Best", Value::integer(1)}}),
                                               Value::string("Best")),
              -1);
}

TEST_F(InspectorTest, WithoutCopyResolutionsTheColourArgumentIsThePerColourDictionary) {
    const auto inspector =
        inspect(info({{"SupportedResolutions", resolutions({75, 150, 300, 600})}}));
    EXPECT_EQ(inspector.copyResolutionForColor(Value::dictionary({{"Best", Value::integer(1)}}),
                                               Value::string("Best")),
              150);
    EXPECT_EQ(inspector.copyResolutionForColor(Value::string("Color"), Value::string("Best")), -1);
    EXPECT_EQ(inspector.copyResolutionForColor(Value::dictionary({{"Best", Value::integer(9)}}),
                                               Value::string("Best")),
              -1);
}

}  // namespace
