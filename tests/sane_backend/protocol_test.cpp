// The data source protocol as a Source Manager and an application drive it: the probe that must
// not start SANE, opening and the status after a failed open, the entry points and
// MSG_XFERREADY through DSM_Entry, DAT_EVENT for applications without a callback, and the
// triplets that each state refuses with TWCC_SEQERROR, changing nothing.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "tests/sane_backend/support/sane_world.hpp"
#include "tests/sane_backend/support/source_manager.hpp"
#include "tests/support/file_watch.hpp"
#include "tests/support/temp_dir.hpp"
#include "twain/entry/data_source_entry.hpp"

namespace {

using namespace twain;
using namespace sane_testing;
using testing_support::FileWatch;

TEST(Protocol, ProbingAnswersTheIdentityWithDS2AndNeverStartsSane) {
    SaneWorld world;
    FileWatch sane_started(world.sane_config() / "dll.conf");
    ASSERT_TRUE(sane_started.valid());
    SourceManager host;

    const auto exported = getIdentity();
    for (int probe = 0; probe < 3; ++probe) {
        TW_IDENTITY identity{};
        // The Source Manager probes with a null origin; newer ones pass the application.
        ASSERT_EQ(DS_Entry(probe == 2 ? &host.application() : nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity),
                  TWRC_SUCCESS);
        EXPECT_EQ(+identity.SupportedGroups, exported.SupportedGroups | DF_DS2);
        identity.SupportedGroups = exported.SupportedGroups;
        EXPECT_EQ(std::memcmp(&identity, &exported, sizeof identity), 0)
            << "otherwise the identity twain-source was given";
    }
    EXPECT_EQ(sane_started.opens(), 0) << "libsane read its configuration during a probe";

    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    EXPECT_GT(sane_started.opens(), 0) << "SANE starts on MSG_OPENDS";
    EXPECT_EQ(host.probe().Id, 7u) << "the Id the Source Manager gave with MSG_OPENDS";
}

TEST(Protocol, ClosingEndsSaneAndOpeningAgainStartsItAfresh) {
    SaneWorld world({"test-picture \"Solid white\""});
    FileWatch sane_started(world.sane_config() / "dll.conf");
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.close(), TWRC_SUCCESS);
    sane_started.opens();
    // A change to SANE's configuration between sessions is seen: SANE was started again.
    world.configure({"test-picture \"Solid black\""});
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    EXPECT_GT(sane_started.opens(), 0);
    ASSERT_EQ(host.set(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    const auto image = host.memory();
    ASSERT_EQ(image.rc, TWRC_XFERDONE);
    EXPECT_EQ(image.bytes.front(), 0) << "the second session scans the picture configured for it";
}

TEST(Protocol, WithoutADeviceOpeningFailsAndTheNextOpenLooksAgain) {
    SaneWorld world;
    world.without_devices();
    SourceManager host;
    EXPECT_EQ(host.open(), TWRC_FAILURE);
    EXPECT_EQ(host.open_condition(), TWCC_CHECKDEVICEONLINE) << "asked right after the failed MSG_OPENDS";

    // Any other triplet ends the moment in which state 3 answers DAT_STATUS.
    TW_CAPABILITY capability{CAP_XFERCOUNT, TWON_DONTCARE16, nullptr};
    EXPECT_EQ(host.call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability), TWRC_FAILURE);
    TW_STATUS status{};
    EXPECT_EQ(host.call(DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_FAILURE);

    testing_support::write_file(world.sane_config() / "dll.conf", "test\n");
    EXPECT_EQ(host.open(), TWRC_SUCCESS) << "the device plugged in meanwhile is found";
}

TEST(Protocol, ThePreferencesNameTheDeviceAndNoOtherIsTaken) {
    SaneWorld world;
    const auto preferences = world.environment().config_home() / "Preferences/com.velmora.aio.datasource.sane.plist";
    testing_support::write_file(preferences,
                                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                "<key>SANEDevice</key><string>test:1</string></dict></plist>\n");
    SourceManager host;
    EXPECT_EQ(host.open(), TWRC_FAILURE) << "test:1 does not exist: one device is configured";
    EXPECT_EQ(host.open_condition(), TWCC_CHECKDEVICEONLINE);
    world.configure({"number_of_devices 2"});
    EXPECT_EQ(host.open(), TWRC_SUCCESS);
}

TEST(Protocol, TheImageIsAnnouncedThroughTheSourceManagerFromTheSourcesIdentity) {
    SaneWorld world;
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    EXPECT_TRUE(host.messages().empty());
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    ASSERT_EQ(host.messages(), std::vector<TW_UINT16>{MSG_XFERREADY});
    EXPECT_EQ(host.message_origins().front(), 7u);
    EXPECT_EQ(host.message_destinations().front(), "Backend test host");
}

TEST(Protocol, WithoutACallbackDatEventDeliversTheAnnouncementOnce) {
    SaneWorld world;
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.small_frame(), TWRC_CHECKSTATUS) << "whole millimetres";
    TW_EVENT event{nullptr, 0xffff};
    EXPECT_EQ(host.call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_FAILURE) << "not enabled yet";
    EXPECT_EQ(host.condition(), TWCC_SEQERROR);
    // ShowUI asks for a dialog the source does not have; it scans at once all the same.
    ASSERT_EQ(host.enable(true), TWRC_SUCCESS);
    EXPECT_EQ(host.call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
    EXPECT_EQ(+event.TWMessage, MSG_XFERREADY);
    EXPECT_EQ(host.call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(+event.TWMessage, MSG_NULL);
    ASSERT_EQ(host.end_transfer(), TWRC_SUCCESS);
    EXPECT_EQ(host.call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT) << "state 5";
}

TEST(Protocol, ASourceManagerWithoutEntryPointsGetsTheAnnouncementByEventAndMallocedMemory) {
    SaneWorld world({"test-picture \"Solid white\""});
    SourceManager host;
    ASSERT_EQ(host.open(false), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    EXPECT_TRUE(host.messages().empty()) << "there is no DSM_Entry to call";
    TW_EVENT event{nullptr, 0};
    EXPECT_EQ(host.call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
    EXPECT_EQ(+event.TWMessage, MSG_XFERREADY);
    TW_HANDLE handle = nullptr;
    ASSERT_EQ(host.call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(host.allocations(), 0u);
    EXPECT_EQ(std::memcmp(handle, "II*\0", 4), 0) << "a little-endian TIFF";
    std::free(handle);
}

TEST(Protocol, EnablingWithTheDialogOnlyIsRefused) {
    SaneWorld world;
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    TW_USERINTERFACE ui{1, 0, nullptr};
    EXPECT_EQ(host.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TWRC_FAILURE);
    EXPECT_EQ(host.condition(), TWCC_BADPROTOCOL);
    EXPECT_EQ(host.enable(), TWRC_SUCCESS);
}

TEST(Protocol, StatusReportsTheLastFailureOnce) {
    SaneWorld world;
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    EXPECT_EQ(host.call(DG_CONTROL, 0x7777, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(host.condition(), TWCC_BADPROTOCOL);
    EXPECT_EQ(host.condition(), TWCC_SUCCESS) << "read once";
    EXPECT_EQ(host.set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    EXPECT_EQ(host.condition(), TWCC_SUCCESS) << "a success leaves no condition";
}

TEST(Protocol, MemoryAndFileSetUpsAndTheTransferGroup) {
    SaneWorld world;
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    // Grey at 8 bits, 150 dpi (the scanner bundle's default), over 200 mm: 1181 pixels a line.
    TW_SETUPMEMXFER memory{};
    ASSERT_EQ(host.call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &memory), TWRC_SUCCESS);
    EXPECT_EQ(+memory.MinBufSize, 1181u);
    EXPECT_EQ(+memory.MaxBufSize, TWON_DONTCARE32);
    EXPECT_GE(+memory.Preferred, +memory.MinBufSize);
    EXPECT_EQ(+memory.Preferred % memory.MinBufSize, 0u) << "whole lines";

    TW_SETUPFILEXFER file{};
    ASSERT_EQ(host.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, &file), TWRC_SUCCESS);
    EXPECT_STREQ(file.FileName, "TWAIN.TMP");
    EXPECT_EQ(+file.Format, TWFF_BMP);
    std::strcpy(file.FileName, "scan.png");
    file.Format = TWFF_PNG;
    ASSERT_EQ(host.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &file), TWRC_SUCCESS);
    EXPECT_EQ(host.current(ICAP_IMAGEFILEFORMAT), TWFF_PNG) << "the file format is one setting";
    file = {};
    ASSERT_EQ(host.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &file), TWRC_SUCCESS);
    EXPECT_STREQ(file.FileName, "scan.png");
    file.Format = TWFF_JFIF;
    EXPECT_EQ(host.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &file), TWRC_FAILURE);
    EXPECT_EQ(host.condition(), TWCC_BADVALUE);
    ASSERT_EQ(host.call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET, &file), TWRC_SUCCESS);
    EXPECT_STREQ(file.FileName, "TWAIN.TMP");
    EXPECT_EQ(host.current(ICAP_IMAGEFILEFORMAT), TWFF_BMP);

    TW_UINT32 group = 0;
    ASSERT_EQ(host.call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group), TWRC_SUCCESS);
    EXPECT_EQ(group, DG_IMAGE);

    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    memory = {};
    ASSERT_EQ(host.call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &memory), TWRC_SUCCESS);
    EXPECT_EQ(+memory.MinBufSize, 1181u) << "the scan's own line";
}

TEST(Protocol, ATransferByAnotherMechanismThanTheNegotiatedOneIsASequenceError) {
    SaneWorld world;
    SourceManager host;
    ASSERT_EQ(host.open(), TWRC_SUCCESS);
    ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    std::array<std::uint8_t, 65536> buffer{};
    TW_IMAGEMEMXFER strip{};
    strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
    EXPECT_EQ(host.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);
    EXPECT_EQ(host.condition(), TWCC_SEQERROR);
    EXPECT_EQ(host.call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(host.condition(), TWCC_SEQERROR);
    EXPECT_EQ(host.native().rc, TWRC_XFERDONE) << "native, the default";
}

// A triplet some state refuses.
struct Refused {
    int state;
    const char* name;
    TW_UINT32 group;
    TW_UINT16 data;
    TW_UINT16 message;
};

void PrintTo(const Refused& refused, std::ostream* out) { *out << "state " << refused.state << " " << refused.name; }

const Refused refused_triplets[] = {
    {3, "capability_get", DG_CONTROL, DAT_CAPABILITY, MSG_GET},
    {3, "enable", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS},
    {3, "close", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS},
    {3, "status", DG_CONTROL, DAT_STATUS, MSG_GET},
    {3, "image_info", DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
    {3, "pending_get", DG_CONTROL, DAT_PENDINGXFERS, MSG_GET},
    {3, "layout_get", DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},
    {4, "open", DG_CONTROL, DAT_IDENTITY, MSG_OPENDS},
    {4, "entry_point", DG_CONTROL, DAT_ENTRYPOINT, MSG_SET},
    {4, "disable", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS},
    {4, "event", DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT},
    {4, "image_info", DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
    {4, "native", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},
    {4, "end_transfer", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
    {5, "capability_set", DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    {5, "capability_reset", DG_CONTROL, DAT_CAPABILITY, MSG_RESET},
    {5, "enable", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS},
    {5, "close", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS},
    {5, "native", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},
    {5, "end_transfer", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
    {5, "reset_transfers", DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
    {5, "layout_set", DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET},
    {6, "capability_set", DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    {6, "disable", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS},
    {6, "close", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS},
    {6, "layout_reset", DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET},
    {6, "file_reset", DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET},
    {7, "capability_set", DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    {7, "disable", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS},
    {7, "native_again", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},
    {7, "memory_setup", DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET},
    {7, "layout_get", DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},
    {7, "reset_transfers", DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
    {7, "transfer_group", DG_CONTROL, DAT_XFERGROUP, MSG_GET},
};

class RefusedInItsState : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedInItsState, IsASequenceErrorAndChangesNothing) {
    const auto& refused = GetParam();
    SaneWorld world;
    SourceManager host;
    if (refused.state >= 4) {
        ASSERT_EQ(host.open(), TWRC_SUCCESS);
        ASSERT_NE(host.small_frame(), TWRC_FAILURE);
    }
    if (refused.state >= 5) {
        ASSERT_EQ(host.enable(), TWRC_SUCCESS);
    }
    if (refused.state == 5) {
        ASSERT_EQ(host.end_transfer(), TWRC_SUCCESS);
    }
    if (refused.state == 7) {
        ASSERT_EQ(host.native().rc, TWRC_XFERDONE);
    }

    // Room for any record, all zero.
    alignas(8) std::array<std::uint8_t, 512> data{};
    EXPECT_EQ(host.call(refused.group, refused.data, refused.message, data.data()), TWRC_FAILURE);
    if (refused.state >= 4) {
        EXPECT_EQ(host.condition(), TWCC_SEQERROR);
    }

    // The source goes on from where it was.
    switch (refused.state) {
        case 3: EXPECT_EQ(host.open(), TWRC_SUCCESS); break;
        case 4: EXPECT_EQ(host.enable(), TWRC_SUCCESS); break;
        case 5: EXPECT_EQ(host.disable(), TWRC_SUCCESS); break;
        case 6: EXPECT_EQ(host.native().rc, TWRC_XFERDONE); break;
        case 7: EXPECT_EQ(host.end_transfer(), TWRC_SUCCESS); break;
        default: break;
    }
    EXPECT_EQ(host.live_allocations(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Protocol, RefusedInItsState, ::testing::ValuesIn(refused_triplets),
                         [](const ::testing::TestParamInfo<Refused>& param) {
                             return "state" + std::to_string(param.param.state) + "_" + param.param.name;
                         });

}  // namespace
