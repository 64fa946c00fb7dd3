// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "LoaderBoard.h"
#include "SimClock.h"
#include "SimDriver.h"
#include "ZandorModule.h"

using namespace boardlink;

namespace {

struct IdentifyRig {
    explicit IdentifyRig(sim::BoardSetup setup = {})
        : board(setup), driver(clock, board), link(driver) {
        link.OpenLink();
        // Fields from an earlier identify, which a failed one must leave alone.
        link.LoaderInfo = {9, 9, 7, 7, 0};
    }
    sim::VirtualClock clock;
    sim::LoaderBoard board;
    sim::SimDriver driver;
    ZandorModule link;
};

struct ReplyCase {
    const char* name;
    std::array<std::uint8_t, 4> reply;
    std::uint8_t major, minor;
    std::int16_t blank;
};

class QueryLoaderReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(QueryLoaderReplyTest, FillsLoaderInfo) {
    const auto& c = GetParam();
    sim::BoardSetup setup;
    setup.identifyReply = c.reply;
    IdentifyRig rig(setup);
    rig.link.LoaderInfo.BlankDeviceFlag = c.blank == 0 ? -1 : 0;  // must be overwritten
    rig.link.QueryLoader();
    EXPECT_EQ(rig.link.LinkStatus, 0);
    EXPECT_EQ(rig.link.LoaderInfo.HardwareMajor, 2);
    EXPECT_EQ(rig.link.LoaderInfo.HardwareMinor, 3);
    EXPECT_EQ(rig.link.LoaderInfo.FirmwareMajor, c.major);
    EXPECT_EQ(rig.link.LoaderInfo.FirmwareMinor, c.minor);
    EXPECT_EQ(rig.link.LoaderInfo.BlankDeviceFlag, c.blank);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, QueryLoaderReplyTest,
    ::testing::Values(
        ReplyCase{"SignatureVersion16", {'K', 'V', 1, 0x16}, 1, 6, 0},
        ReplyCase{"SignatureBlankMode", {'K', 'V', 3, 0xFF}, 15, 15, -1},
        ReplyCase{"NoSignatureBlankMode", {'A', 'P', 3, 0xFF}, 7, 7, -1},
        ReplyCase{"NoSignatureOtherwise", {'A', 'P', 1, 0x16}, 7, 7, 0},
        ReplyCase{"LowerCaseSignature", {'k', 'v', 1, 0x16}, 7, 7, 0},
        ReplyCase{"SignatureVersionZero", {'K', 'V', 1, 0x00}, 0, 0, 0},
        ReplyCase{"ModeThreeAloneIsNotBlank", {'K', 'V', 3, 0xFE}, 15, 14, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QueryLoader, NoBoardTimesOutOnTheEcho) {
    sim::BoardSetup setup;
    setup.silent = true;
    IdentifyRig rig(setup);
    rig.link.QueryLoader();
    EXPECT_EQ(rig.link.LinkStatus, LinkFailure);
    EXPECT_EQ(rig.link.LoaderInfo.HardwareMajor, 9);
    EXPECT_EQ(rig.link.LoaderInfo.FirmwareMajor, 7);
}

TEST(QueryLoader, EchoWithoutReplySetsOnlyTheHardware) {
    sim::BoardSetup setup;
    setup.identifyUnanswered = true;
    IdentifyRig rig(setup);
    rig.link.LoaderInfo.BlankDeviceFlag = -1;
    rig.link.QueryLoader();
    EXPECT_EQ(rig.link.LinkStatus, LinkFailure);
    EXPECT_EQ(rig.link.LoaderInfo.HardwareMajor, 2);
    EXPECT_EQ(rig.link.LoaderInfo.HardwareMinor, 3);
    EXPECT_EQ(rig.link.LoaderInfo.FirmwareMajor, 7);
    EXPECT_EQ(rig.link.LoaderInfo.FirmwareMinor, 7);
    EXPECT_EQ(rig.link.LoaderInfo.BlankDeviceFlag, -1);
}

TEST(QueryLoader, SendsExactlyGI) {
    IdentifyRig rig;
    rig.driver.ClearCalls();
    rig.link.QueryLoader();
    EXPECT_EQ(rig.driver.Calls(),
              (std::vector<std::string>{"FT_Write(2)", "FT_Read(2)", "FT_Read(4)"}));
    EXPECT_EQ(rig.link.TxBuffer[0], 'G');
    EXPECT_EQ(rig.link.TxBuffer[1], 'I');
}

}  // namespace
