// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <numeric>

#include "FaultPlan.h"
#include "LoaderBoard.h"
#include "ScriptedDriver.h"
#include "SimClock.h"
#include "SimDriver.h"
#include "ZandorModule.h"

using namespace boardlink;
using testing_support::ScriptedDriver;

namespace {

std::vector<std::uint8_t> Pattern(std::uint8_t seed) {
    std::vector<std::uint8_t> block(BlockBufferElements);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 3 + seed);
    return block;
}

// A link over a scripted driver, with block buffers and the run's block length.
struct ScriptedLink {
    ScriptedLink() : link(driver) {
        link.LinkHandle = &driver;  // open, as OpenLink leaves it
        link.BlockTxBuffer = Pattern(5);
        link.BlockRxBuffer.assign(BlockBufferElements, 0);
        link.BlockLength = 512;
        link.FlashAddress = 0x400;
    }
    ScriptedDriver driver;
    ZandorModule link;
};

struct BlockRig {
    explicit BlockRig(const std::string& fault = {}) : board({}, &faults), driver(clock, board, {}, &faults),
                                                      link(driver, [this] { ++yields; }) {
        if (!fault.empty()) {
            EXPECT_EQ(faults.Add(fault), "");
        }
        link.OpenLink();
        link.BlockTxBuffer = Pattern(1);
        link.BlockRxBuffer.assign(BlockBufferElements, 0);
        link.BlockLength = 512;
        link.FlashAddress = 0x400;
        driver.ClearCalls();
    }
    std::vector<std::uint8_t> FlashAt(std::int32_t address) const {
        const auto& flash = board.Flash();
        auto from = flash.begin() + address * 2;
        return {from, from + 2048};
    }
    sim::ScriptedFaults faults;
    sim::VirtualClock clock;
    sim::LoaderBoard board;
    sim::SimDriver driver;
    ZandorModule link;
    int yields = 0;
};

struct FrameCase {
    const char* name;
    bool write;
    std::int32_t address;
    std::vector<std::uint8_t> frame;
};

class BlockFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(BlockFrameTest, SendsTheFrameByteForByte) {
    const auto& c = GetParam();
    ScriptedLink rig;
    auto& [driver, link] = rig;
    link.FlashAddress = c.address;
    // The echo of the frame, then nothing: the command stops after its first receive.
    driver.reads = {{std::vector<std::uint8_t>(c.frame.size(), 0)}};
    c.write ? link.WriteBlock() : link.ReadBackBlock();
    ASSERT_GE(driver.written.size(), 1u);
    EXPECT_EQ(driver.written[0], c.frame);
    EXPECT_EQ(driver.calls.front(), "Purge") << "every block command starts with a purge";
    if (c.write) {
        ASSERT_EQ(driver.written.size(), 2u);
        EXPECT_EQ(driver.written[1], std::vector<std::uint8_t>(link.BlockTxBuffer.begin(),
                                                               link.BlockTxBuffer.begin() + 2048));
    } else {
        EXPECT_EQ(driver.readCounts.at(1), 2048u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BlockFrameTest,
    ::testing::Values(
        FrameCase{"WriteAt0x400", true, 0x400, {0x57, 0x46, 0x00, 0x04, 0x00}},
        FrameCase{"WriteAtZero", true, 0, {0x57, 0x46, 0x00, 0x00, 0x00}},
        FrameCase{"WriteAt0xF8FF", true, 0xF8FF, {0x57, 0x46, 0x00, 0xF8, 0xFF}},
        FrameCase{"ReadAt0xF800", false, 0xF800, {0x52, 0x46, 0x00, 0xF8, 0x00, 0x02, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteBlock, ProgramsTheBoardAndSucceedsOnOK) {
    BlockRig rig;
    rig.link.WriteBlock();
    EXPECT_EQ(rig.link.LinkStatus, 0);
    EXPECT_EQ(rig.FlashAt(0x400), std::vector<std::uint8_t>(rig.link.BlockTxBuffer.begin(),
                                                            rig.link.BlockTxBuffer.begin() + 2048));
    EXPECT_EQ(rig.driver.Calls(),
              (std::vector<std::string>{"FT_Purge(3)", "FT_Write(5)", "FT_Read(5)", "FT_Write(2048)",
                                        "FT_Read(2048)", "FT_Read(2)"}));
    rig.link.ReadBackBlock();
    EXPECT_EQ(rig.link.LinkStatus, 0);
}

struct EchoCase {
    const char* name;
    std::vector<std::uint8_t> echo;
    std::int16_t flag;
};

class WriteFrameEchoTest : public ::testing::TestWithParam<EchoCase> {};

// The write still goes on (the echo is counted, not compared), but a frame
// that did not come back as sent marks the run's writes as uncertain.
TEST_P(WriteFrameEchoTest, MarksAFrameThatDidNotComeBackAsSent) {
    ScriptedLink rig;
    auto& [driver, link] = rig;
    driver.reads = {{GetParam().echo}, {std::vector<std::uint8_t>(2048, 1)}, {{'O', 'K'}}};
    link.WriteBlock();
    EXPECT_EQ(link.UncertainWriteFlag, GetParam().flag);
    EXPECT_EQ(link.LinkStatus, GetParam().echo.size() == 5 ? 0 : LinkFailure);
}

INSTANTIATE_TEST_SUITE_P(
    Echoes, WriteFrameEchoTest,
    ::testing::Values(EchoCase{"AsSent", {'W', 'F', 0, 4, 0}, 0},
                      EchoCase{"AddressDamaged", {'W', 'F', 0, 0, 0}, -1},
                      EchoCase{"CommandDamaged", {'W', 'G', 0, 4, 0}, -1},
                      EchoCase{"Incomplete", {'W', 'F', 0}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

struct WriteFaultCase {
    const char* name;
    const char* fault;
    std::int32_t status;
    bool ackAwaited;
};

class WriteBlockFaultTest : public ::testing::TestWithParam<WriteFaultCase> {};

TEST_P(WriteBlockFaultTest, FailsWithStatus) {
    const auto& c = GetParam();
    BlockRig rig(c.fault);
    rig.link.WriteBlock();
    EXPECT_EQ(rig.link.LinkStatus, c.status);
    const auto& calls = rig.driver.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "FT_Read(2)"), c.ackAwaited ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteBlockFaultTest,
    ::testing::Values(WriteFaultCase{"LowerCaseAck", "ack-wrong=ok", LinkFailure, true},
                      WriteFaultCase{"SwappedAck", "ack-wrong=KO", LinkFailure, true},
                      WriteFaultCase{"MissingAck", "ack-missing", LinkFailure, true},
                      WriteFaultCase{"AckCompletedByStatusFour", "status4@WF", FT_IO_ERROR, true},
                      WriteFaultCase{"DataEchoStopsShort", "echo-short=100", LinkFailure, false},
                      WriteFaultCase{"SlowerThanTheTimeOut", "slow=300", LinkFailure, true},
                      WriteFaultCase{"DriverError", "driver-error", LinkFailure, false},
                      WriteFaultCase{"BoardGone", "gone", LinkFailure, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadFaultCase {
    const char* name;
    const char* fault;
    std::int32_t status;
};

class ReadBackFaultTest : public ::testing::TestWithParam<ReadFaultCase> {};

TEST_P(ReadBackFaultTest, FailsWithStatus) {
    BlockRig rig;
    rig.link.WriteBlock();
    ASSERT_EQ(rig.link.LinkStatus, 0);
    ASSERT_EQ(rig.faults.Add(GetParam().fault), "");
    rig.link.ReadBackBlock();
    EXPECT_EQ(rig.link.LinkStatus, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadBackFaultTest,
    ::testing::Values(ReadFaultCase{"LastByteDiffers", "corrupt@RF=2047", LinkFailure},
                      ReadFaultCase{"FirstByteDiffers", "corrupt@RF=0", LinkFailure},
                      ReadFaultCase{"EqualButLastReadStatusFour", "status4@RF", FT_IO_ERROR},
                      ReadFaultCase{"NoData", "drop@RF", LinkFailure},
                      ReadFaultCase{"SlowerThanTheTimeOut", "slow@RF=300", LinkFailure}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadBackBlock, DoesNotYieldDuringTheBlock) {
    BlockRig rig;
    rig.link.WriteBlock();
    rig.yields = 0;
    rig.driver.SetReadPieces({100});  // many reads for the 2,048 bytes
    rig.link.ReadBackBlock();
    EXPECT_EQ(rig.link.LinkStatus, 0);
    EXPECT_EQ(rig.yields, 1) << "only the frame echo's read yields";
}

TEST(ReadBackBlock, StatusFourSkipsTheComparison) {
    // A block that differs everywhere but arrives with status 4 stays at 4.
    ScriptedLink rig;
    auto& [driver, link] = rig;
    driver.reads = {{std::vector<std::uint8_t>(7, 0)},
                    {std::vector<std::uint8_t>(2048, 0xEE), FT_IO_ERROR}};
    link.ReadBackBlock();
    EXPECT_EQ(link.LinkStatus, FT_IO_ERROR);
}

struct RangeCase {
    const char* name;
    std::int32_t address;
    std::int32_t length;
};

class FrameRangeTest : public ::testing::TestWithParam<RangeCase> {};

// Values the frame's bytes cannot carry are refused: nothing goes on the wire.
TEST_P(FrameRangeTest, RefusesWithoutSending) {
    ScriptedLink rig;
    auto& [driver, link] = rig;
    link.FlashAddress = GetParam().address;
    link.BlockLength = GetParam().length;
    link.ReadBackBlock();
    EXPECT_EQ(link.LinkStatus, FT_INVALID_PARAMETER);
    link.WriteBlock();
    if (GetParam().address < 0 || GetParam().address >= 65536) {
        EXPECT_EQ(link.LinkStatus, FT_INVALID_PARAMETER);
    }
    for (const auto& frame : driver.written)
        EXPECT_NE(frame.at(0), 'R') << "no read frame was sent";
}

INSTANTIATE_TEST_SUITE_P(Limits, FrameRangeTest,
                         ::testing::Values(RangeCase{"Address65536", 65536, 512},
                                           RangeCase{"NegativeAddress", -2, 512},
                                           RangeCase{"Length65536", 0x400, 65536},
                                           RangeCase{"LengthBeyondTheBlockBuffer", 0x400, 513},
                                           RangeCase{"NegativeLength", 0x400, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
