// SPDX-License-Identifier: MIT
// Randomly faulted updates, each checked from the board's side and the
// wire's: never a false "Flash Complete!", never the boot page before its
// stage, the message that the stage and the echoes call for, at most 50
// failed attempts a block, no call on a closed handle. UPDATER_CAMPAIGN_RUNS sets the
// runs per shard (default 500); every violation names the seed that replays it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "FaultCampaign.h"

namespace {

std::uint64_t RunsPerShard() {
    if (const char* runs = std::getenv("UPDATER_CAMPAIGN_RUNS")) return std::strtoull(runs, nullptr, 10);
    return 500;
}

class FaultCampaignTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(FaultCampaignTest, EveryRunPassesItsChecks) {
    const std::uint64_t runs = RunsPerShard();
    const std::uint64_t first = 1 + GetParam() * runs;
    const auto figures = sim::RunCampaign(first, runs);
    std::cout << "seeds " << first << " to " << first + runs - 1 << "\n" << sim::Describe(figures);
    EXPECT_TRUE(figures.Clean()) << sim::Describe(figures);
    // The campaign must exercise what it checks, the boot-page texts after a
    // write frame that came back damaged among it.
    EXPECT_GT(figures.completed, runs / 10);
    EXPECT_GT(figures.flashFailures, runs / 10);
    EXPECT_GT(figures.failuresAfterDoubtfulWrite, runs / 50);
    EXPECT_GT(figures.faultsInjected, runs);
}

INSTANTIATE_TEST_SUITE_P(Shards, FaultCampaignTest, ::testing::Values(0, 1, 2, 3));

// Seed 5143 once ended "Flash Complete!" with block 0x9000 overwritten by a
// write frame whose address was damaged on the wire.
TEST(FaultCampaign, DamagedWriteAddressIsNoLongerAFalseSuccess) {
    sim::CampaignFigures figures;
    sim::RunFaultedUpdate(5143, figures);
    EXPECT_EQ(figures.falseSuccesses, 0u) << sim::Describe(figures);
    EXPECT_TRUE(figures.Clean()) << sim::Describe(figures);
}

TEST(FaultCampaign, ARunReplaysFromItsSeed) {
    sim::CampaignFigures a, b;
    sim::RunFaultedUpdate(4242, a);
    sim::RunFaultedUpdate(4242, b);
    EXPECT_EQ(a.faultsByKind, b.faultsByKind);
    EXPECT_EQ(a.completed, b.completed);
    EXPECT_EQ(a.flashFailures, b.flashFailures);
}

}  // namespace
