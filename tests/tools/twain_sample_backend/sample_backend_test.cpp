#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/plist/describe.hpp"
#include "platform/plist/document.hpp"
#include "tests/support/isolated_environment.hpp"
#include "twain/entry/data_source_entry.hpp"
#include "twain/protocol/twain_constants.hpp"
#include "twain/utility/tds_utility.hpp"

namespace {

using namespace twain;
using platform::plist::Value;

class SampleBackendTest : public ::testing::Test {
protected:
    std::unique_ptr<DataSourceBackend> create(const Value& dictionary = Value()) const {
        return TDSUtility::loadDSBackend(SAMPLE_BACKEND_BUNDLE, getIdentity(), dictionary);
    }
    static TW_UINT16 send(DataSourceBackend& backend, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          void* data) {
        return static_cast<TW_UINT16>(backend.sendTripletWithSource(nullptr, dg, dat, msg, data));
    }
    static TW_UINT16 condition(DataSourceBackend& backend) {
        TW_STATUS status{};
        status.Data = 0xFFFF;
        EXPECT_EQ(send(backend, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
        EXPECT_EQ(status.Data, 0);
        return status.ConditionCode;
    }

    testing_support::IsolatedEnvironment env_;
};

TEST_F(SampleBackendTest, AnswersTheIdentityItWasGivenWithTheIdOfOpening) {
    const auto backend = create();
    ASSERT_TRUE(backend);
    TW_IDENTITY identity;
    std::memset(&identity, 0xEE, sizeof identity);
    EXPECT_EQ(send(*backend, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
    const auto expected = getIdentity();
    EXPECT_EQ(std::memcmp(&identity, &expected, sizeof identity), 0);

    identity.Id = 42;
    EXPECT_EQ(send(*backend, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    TW_IDENTITY after{};
    EXPECT_EQ(send(*backend, DG_CONTROL, DAT_IDENTITY, MSG_GET, &after), TWRC_SUCCESS);
    EXPECT_EQ(after.Id, 42u);
    EXPECT_STREQ(after.ProductName, "Velmora Q580n");
    EXPECT_EQ(send(*backend, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &after), TWRC_SUCCESS);
}

TEST_F(SampleBackendTest, StatusTellsTheLastFailureOnce) {
    const auto backend = create();
    ASSERT_TRUE(backend);
    EXPECT_EQ(condition(*backend), TWCC_SUCCESS);
    EXPECT_EQ(send(*backend, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(condition(*backend), TWCC_BADPROTOCOL);
    EXPECT_EQ(condition(*backend), TWCC_SUCCESS) << "read once, then cleared";
    EXPECT_EQ(send(*backend, DG_CONTROL, DAT_IDENTITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(condition(*backend), TWCC_BADVALUE);
    EXPECT_EQ(send(*backend, DG_CONTROL, DAT_IDENTITY, MSG_SET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(condition(*backend), TWCC_BADPROTOCOL);
    EXPECT_EQ(send(*backend, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(condition(*backend), TWCC_BADVALUE);
}

TEST_F(SampleBackendTest, RecordsTheIdentityAndTheDictionaryItWasGiven) {
    const auto record = env_.base() / "record.plist";
    ::setenv("VELMORA_SAMPLE_BACKEND_RECORD", record.c_str(), 1);
    const auto dictionary = TDSUtility::getInfoDictWithBundlePath(
        env_.root() / "Library/Application Support/Velmora/Q580n Scanner.bundle",
        env_.root() /
            "Library/Application Support/Velmora/Q580n Scanner.bundle/Contents/"
            "SharedSupport/Q580nScannerLib.bundle");
    ASSERT_TRUE(create(dictionary));

    const auto written = platform::plist::read_file(record);
    ASSERT_TRUE(written) << written.error().message;
    EXPECT_EQ(written->get("Creations"), Value::integer(1));
    EXPECT_EQ(written->get("Identity").get("ProductName"), Value::string("Velmora Q580n"));
    EXPECT_EQ(written->get("Identity").get("Info"), Value::string("1.0.0d0"));
    const auto identity = getIdentity();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&identity);
    EXPECT_EQ(written->get("IdentityBytes"),
              Value::data(std::vector<std::uint8_t>(bytes, bytes + sizeof identity)));
    EXPECT_EQ(written->get("Dictionary").size(), 25u);
    EXPECT_EQ(
        written->get("Dictionary").get("dKeyDriverURL"),
        Value::string("file://" + env_.root().string() +
                      "/Library/Application%20Support/Velmora/Q580n%20Scanner.bundle/Contents/"
                      "SharedSupport/Q580nScannerLib.bundle"));
    const auto kinds = written->get("Kinds");
    EXPECT_EQ(kinds.get("dKeyDriverURL"), Value::string("file URL"));
    EXPECT_EQ(kinds.get("dKeyImagingURL"), Value::string("string"));
    EXPECT_EQ(kinds.get("dKeyVID"), Value::string("integer (32-bit)"));
    EXPECT_EQ(kinds.get("dKeyScannerWidth"), Value::string("real"));
    EXPECT_EQ(kinds.get("dKeyADFAllowPreview"), Value::string("boolean"));
}

}  // namespace
