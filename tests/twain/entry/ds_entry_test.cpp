// DS_Entry keeps its backend in a global that is never reset, so each test needs a process of
// its own: CTest runs every test case as one.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/plist/value.hpp"
#include "tests/support/file_watch.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/twain/support/backend_log.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"
#include "twain/entry/data_source_entry.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace {

using namespace twain;
using platform::plist::Value;

std::string pointer(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

std::string join(const std::vector<std::string>& keys) {
    std::string text;
    for (const auto& key : keys) text += (text.empty() ? "" : ",") + key;
    return text;
}

class DSEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(gDataSource, nullptr) << "DS_Entry tests need a process of their own";
        twain_testing::lay_out_scanner_bundle(
            scanner(), twain_testing::full_scanner_info("/Library/Printers/Velmora/QSA.plist"),
            {"Color", "Gray"});
    }
    std::filesystem::path scanner() const {
        return twain_testing::scanner_bundle_path(env_.root());
    }
    void install_backend(std::string_view principal_class) const {
        twain_testing::lay_out_backend_bundle(twain_testing::backend_bundle_path(env_.root()),
                                              TWAIN_TEST_BACKEND, principal_class);
    }
    std::string identity_hex() const {
        const auto identity = getIdentity();
        return twain_testing::hex(&identity, sizeof identity);
    }

    testing_support::IsolatedEnvironment env_;
    twain_testing::BackendLog log_{env_.base() / "backend.log"};
};

TEST_F(DSEntryTest, TheFirstCallCreatesOneBackendAndForwardsThatCall) {
    install_backend("RecordingBackend");
    const testing_support::FileWatch info_plist(scanner() / "Contents/Info.plist");
    ASSERT_TRUE(info_plist.valid());

    TW_IDENTITY origin{};
    TW_IDENTITY data{};
    EXPECT_EQ(DS_Entry(&origin, DG_CONTROL, DAT_IDENTITY, MSG_GET, &data), DAT_IDENTITY)
        << "the low 16 bits of the backend's result";
    ASSERT_NE(gDataSource, nullptr);
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                                "alloc RecordingBackend",
                                "init RecordingBackend identity=" + identity_hex() +
                                    " keys=" + join(twain_testing::all_info_dictionary_keys()),
                                "triplet RecordingBackend origin=" + pointer(&origin) +
                                    " dg=1 dat=3 msg=1 data=" + pointer(&data)}));
    EXPECT_GT(info_plist.opens(), 0) << "the dictionary was built from the scanner's Info.plist";

    auto* const backend = gDataSource;
    TW_STATUS status{};
    EXPECT_EQ(DS_Entry(&origin, DG_CONTROL, DAT_STATUS, MSG_GET, &status), DAT_STATUS);
    EXPECT_EQ(DS_Entry(nullptr, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, nullptr), DAT_IMAGEINFO);
    EXPECT_EQ(DS_Entry(&origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &data), DAT_IDENTITY);
    EXPECT_EQ(DS_Entry(&origin, DG_CONTROL, DAT_IDENTITY, MSG_GET, &data), DAT_IDENTITY)
        << "closing is forwarded like anything else and keeps the backend";
    EXPECT_EQ(gDataSource, backend);
    EXPECT_EQ(log_.lines("alloc").size(), 1u);
    EXPECT_EQ(log_.lines("init").size(), 1u);
    EXPECT_EQ(log_.lines("triplet").size(), 5u);
    EXPECT_EQ(log_.lines("triplet")[2], "triplet RecordingBackend origin=" + pointer(nullptr) +
                                            " dg=2 dat=257 msg=1 data=" + pointer(nullptr));
    EXPECT_EQ(info_plist.opens(), 0) << "no dictionary is built once the backend exists";
}

TEST_F(DSEntryTest, WithoutABackendBundleNothingIsForwardedUntilOneIsInstalled) {
    const testing_support::FileWatch info_plist(scanner() / "Contents/Info.plist");
    for (int call = 0; call < 2; ++call) {
        TW_STATUS status;
        std::memset(&status, 0xA5, sizeof status);
        EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE);
        EXPECT_EQ(status.ConditionCode, 0xA5A5) << "pData is left untouched";
        EXPECT_EQ(status.Data, 0xA5A5);
        EXPECT_EQ(gDataSource, nullptr);
        EXPECT_GT(info_plist.opens(), 0) << "call " << call << " tried again from the start";
    }

    install_backend("RecordingBackend");
    TW_STATUS status{};
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), DAT_STATUS);
    ASSERT_NE(gDataSource, nullptr);
    EXPECT_EQ(log_.lines("alloc").size(), 1u);
    ASSERT_EQ(log_.lines("triplet").size(), 1u);
    EXPECT_EQ(log_.lines("triplet")[0], "triplet RecordingBackend origin=" + pointer(nullptr) +
                                            " dg=1 dat=8 msg=1 data=" + pointer(&status));
}

TEST_F(DSEntryTest, ARefusingInitialiserCountsAsNoBackend) {
    install_backend("RefusingBackend");
    TW_IDENTITY data;
    std::memset(&data, 0x5A, sizeof data);
    const TW_IDENTITY untouched = data;
    for (int call = 1; call <= 2; ++call) {
        EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &data), TWRC_FAILURE);
        EXPECT_EQ(std::memcmp(&data, &untouched, sizeof data), 0);
        EXPECT_EQ(gDataSource, nullptr);
        EXPECT_EQ(log_.lines("init").size(), static_cast<std::size_t>(call)) << "tried again";
        EXPECT_EQ(log_.lines("destroy").size(), static_cast<std::size_t>(call));
    }
    EXPECT_TRUE(log_.lines("triplet").empty());

    install_backend("RecordingBackend");
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &data), DAT_IDENTITY);
    EXPECT_NE(gDataSource, nullptr);
    EXPECT_EQ(log_.lines("triplet").size(), 1u);
}

TEST_F(DSEntryTest, ArgumentsPassUnchangedAndTheResultIsCutTo16Bits) {
    install_backend("RecordingBackend");
    EXPECT_EQ(DS_Entry(nullptr, 0x80000001u, 65535, 65535, nullptr), 0xFFFF);
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, 0x8001, 0x8002, nullptr), 0x8001);
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, 0, MSG_GET, nullptr), 0)
        << "0xABCD0000 from the backend is success to the host";
    const auto triplets = log_.lines("triplet");
    ASSERT_EQ(triplets.size(), 3u);
    EXPECT_NE(triplets[0].find(" dg=2147483649 dat=65535 msg=65535 "), std::string::npos)
        << triplets[0];
    EXPECT_NE(triplets[1].find(" dat=32769 msg=32770 "), std::string::npos) << triplets[1];
}

TEST_F(DSEntryTest, AMissingScannerBundleStillGivesABackendWithTheDefaults) {
    std::filesystem::remove_all(scanner());
    install_backend("RecordingBackend");
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, nullptr), DAT_IDENTITY);
    const auto inits = log_.lines("init");
    ASSERT_EQ(inits.size(), 1u);
    const std::string keys = inits[0].substr(inits[0].find(" keys=") + 6);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), ',') + 1, 25) << keys;
    EXPECT_EQ(keys.find("dKeySupportedRes"), std::string::npos);
}

}  // namespace
