#include "tools/twain_host/memory_ledger.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using twain_host::MemoryLedger;

TEST(MemoryLedger, AccountsForEveryBlockUntilItIsFreed) {
    MemoryLedger ledger;
    auto* first = ledger.allocate(100);
    auto* second = ledger.allocate(28);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // Blocks come zeroed, and a lock answers the block itself, as on the Linux Source Manager.
    EXPECT_EQ(ledger.lock(first), first);
    EXPECT_EQ(static_cast<unsigned char*>(first)[99], 0);
    std::memset(first, 0xAB, 100);
    ledger.unlock(first);
    EXPECT_EQ(ledger.block_size(first), 100u);
    EXPECT_EQ(ledger.block_size(second), 28u);

    ledger.free(first);
    auto account = ledger.account();
    EXPECT_EQ(account.allocations, 2u);
    EXPECT_EQ(account.allocated_bytes, 128u);
    EXPECT_EQ(account.frees, 1u);
    EXPECT_EQ(account.live_blocks, 1u);
    EXPECT_EQ(account.live_bytes, 28u);
    EXPECT_FALSE(ledger.block_size(first));

    ledger.free(second);
    account = ledger.account();
    EXPECT_EQ(account.live_blocks, 0u);
    EXPECT_EQ(account.live_bytes, 0u);
    EXPECT_EQ(account.refused_frees, 0u);
}

TEST(MemoryLedger, RefusesPointersThatAreNoLiveBlock) {
    MemoryLedger ledger;
    int on_the_stack = 0;
    auto* block = ledger.allocate(16);
    ledger.free(block);
    // A second free of the same block, and a pointer it never gave out, never reach free(); a
    // null pointer is ignored, as free(NULL) is.
    ledger.free(block);
    ledger.free(&on_the_stack);
    ledger.free(nullptr);
    EXPECT_EQ(ledger.lock(&on_the_stack), nullptr);
    ledger.unlock(block);
    const auto account = ledger.account();
    EXPECT_EQ(account.frees, 1u);
    EXPECT_EQ(account.refused_frees, 2u);
    EXPECT_EQ(account.refused_locks, 2u);
    EXPECT_EQ(ledger.allocate(0), nullptr);
    EXPECT_EQ(ledger.account().allocations, 1u);
}

}  // namespace
