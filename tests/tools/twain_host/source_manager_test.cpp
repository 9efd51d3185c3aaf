// The Source Manager's own answers, before any data source is open: what an application may ask
// in which order, and what it is told. The whole sequence with a real data source is in
// host_program_test.cpp.

#include "tools/twain_host/source_manager.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/twain_host/application_link.hpp"
#include "tools/twain_host/memory_ledger.hpp"

namespace {

using namespace twain;
using twain_host::ApplicationLink;
using twain_host::SourceManager;

TW_UINT16 condition(ApplicationLink& link) {
    TW_STATUS status{};
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    return status.ConditionCode;
}

class SourceManagerTest : public ::testing::Test {
protected:
    testing_support::TempDir temp_{"source-manager"};
    std::ostringstream trace_text_;
    twain_host::Trace trace_{&trace_text_};
};

TEST_F(SourceManagerTest, OpeningGivesTheApplicationItsIdAndListsOnlySourcesThatAnswer) {
    testing_support::write_file(temp_ / "broken.ds", "not a shared object");
    SourceManager manager({temp_ / "broken.ds", temp_ / "missing.ds"}, trace_);
    ApplicationLink link;
    TW_MEMREF parent = nullptr;
    ASSERT_EQ(link.to_manager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
    EXPECT_EQ(link.identity().Id, 1u);
    EXPECT_TRUE(link.identity().SupportedGroups & DF_DSM2)
        << "a 2.x application is told of a 2.x manager";
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_SEQERROR);

    // Neither file is a data source, so none is listed and none opens.
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &link.source()),
              TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_NODS);
    EXPECT_EQ(condition(link), TWCC_SUCCESS) << "reading the condition code clears it";
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &link.source()), TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_NODS);
    EXPECT_NE(trace_text_.str().find("load " + (temp_ / "broken.ds").string() + "\n  not loaded: "),
              std::string::npos)
        << trace_text_.str();

    // Without an open source, calls meant for one are out of sequence.
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(link.to_source(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_SEQERROR);
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &link.source()),
              TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_SEQERROR);
}

TEST_F(SourceManagerTest, EntryPointsGoOnlyToAnOpenTwoPointXApplicationThatSizedTheRecord) {
    SourceManager manager({}, trace_);
    ApplicationLink link;
    TW_ENTRYPOINT entry_points{};
    entry_points.Size = sizeof entry_points;
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry_points), TWRC_FAILURE)
        << "before MSG_OPENDSM";
    TW_MEMREF parent = nullptr;
    ASSERT_EQ(link.to_manager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);

    entry_points.Size = sizeof entry_points - 1;
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry_points), TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_BADVALUE);
    entry_points.Size = sizeof entry_points;
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry_points), TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_BADPROTOCOL);
    link.identity().SupportedGroups &= ~DF_APP2;
    EXPECT_EQ(link.to_manager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry_points), TWRC_FAILURE);
    EXPECT_EQ(condition(link), TWCC_BADPROTOCOL);
    link.identity().SupportedGroups |= DF_APP2;

    ASSERT_TRUE(link.take_entry_points());
    // The functions handed out are the ones that keep the account.
    auto* block = link.allocate(64);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(twain_host::process_memory().block_size(block), 64u);
    EXPECT_EQ(link.lock(block), block);
    link.unlock(block);
    link.free(block);
    EXPECT_FALSE(twain_host::process_memory().block_size(block));
}

}  // namespace
