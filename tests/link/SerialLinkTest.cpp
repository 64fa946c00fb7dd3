// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>

#include "LoaderBoard.h"
#include "ScriptedDriver.h"
#include "SimClock.h"
#include "SimDriver.h"
#include "ZandorModule.h"

using namespace boardlink;
using testing_support::ScriptedDriver;

namespace {

struct SimLink {
    explicit SimLink(sim::LinkSetup setup = {}, sim::BoardSetup boardSetup = {})
        : board(boardSetup), driver(clock, board, std::move(setup)), link(driver, [this] { ++yields; }) {}
    sim::VirtualClock clock;
    sim::LoaderBoard board;
    sim::SimDriver driver;
    ZandorModule link;
    int yields = 0;

    std::vector<std::string> OpenCalls() const {
        std::vector<std::string> opens;
        for (const auto& c : driver.Calls())
            if (c.rfind("FT_OpenEx", 0) == 0) opens.push_back(c);
        return opens;
    }
};

const std::vector<std::string> ConfigurationCalls = {
    "FT_SetBaudRate(125000)",           "FT_SetFlowControl(0,0,0)", "FT_SetLatencyTimer(2)",
    "FT_SetUSBParameters(4096,0)",      "FT_SetDataCharacteristics(8,0,0)",
    "FT_SetChars(0,0,0,0)",             "FT_SetTimeouts(250,0)"};

struct OpenCase {
    const char* name;
    std::vector<std::string> descriptions;
    std::int32_t status;
    bool open;
    std::vector<std::string> opens;
};

class OpenLinkTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenLinkTest, OpensByDescriptionInOrder) {
    const auto& c = GetParam();
    sim::LinkSetup setup;
    setup.descriptions = c.descriptions;
    SimLink rig(setup);
    rig.link.OpenLink();
    EXPECT_EQ(rig.link.LinkStatus, c.status);
    EXPECT_EQ(rig.link.LinkHandle != nullptr, c.open);
    EXPECT_EQ(rig.OpenCalls(), c.opens);
    if (c.open) {
        // Configured in order, then drained with one 20-byte receive.
        const auto& calls = rig.driver.Calls();
        std::vector<std::string> config(calls.begin() + static_cast<long>(c.opens.size()),
                                        calls.begin() + static_cast<long>(c.opens.size() + 7));
        EXPECT_EQ(config, ConfigurationCalls);
        EXPECT_EQ(calls.at(c.opens.size() + 7), "FT_Read(20)");
    } else {
        EXPECT_EQ(rig.driver.Calls().size(), c.opens.size()) << "nothing after a failed open";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, OpenLinkTest,
    ::testing::Values(
        OpenCase{"FirstDescription", {"Ambercord Serial Link"}, 0, true,
                 {"FT_OpenEx(Ambercord Serial Link,2)"}},
        OpenCase{"SecondDescriptionOnly", {"FT232R USB UART"}, 0, true,
                 {"FT_OpenEx(Ambercord Serial Link,2)", "FT_OpenEx(FT232R USB UART,2)"}},
        OpenCase{"NoInterfaceGivesTheSecondOpensStatus", {}, FT_DEVICE_NOT_FOUND, false,
                 {"FT_OpenEx(Ambercord Serial Link,2)", "FT_OpenEx(FT232R USB UART,2)"}},
        OpenCase{"DescriptionsAreCaseSensitive", {"ambercord serial link"}, FT_DEVICE_NOT_FOUND,
                 false, {"FT_OpenEx(Ambercord Serial Link,2)", "FT_OpenEx(FT232R USB UART,2)"}}),
    [](const auto& info) { return info.param.name; });

struct StepCase {
    const char* step;
    FT_STATUS status;
};

class ConfigurationFailureTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(ConfigurationFailureTest, ClosesAndReportsTheStepsStatus) {
    sim::LinkSetup setup;
    setup.failingStep = GetParam().step;
    setup.failingStatus = GetParam().status;
    SimLink rig(setup);
    rig.link.OpenLink();
    EXPECT_EQ(rig.link.LinkStatus, static_cast<std::int32_t>(GetParam().status));
    EXPECT_EQ(rig.link.LinkHandle, nullptr);
    EXPECT_FALSE(rig.driver.IsOpen());
    EXPECT_EQ(rig.driver.Calls().back(), "FT_Close()");
    const auto& calls = rig.driver.Calls();
    EXPECT_TRUE(std::none_of(calls.begin(), calls.end(),
                             [](const std::string& c) { return c.rfind("FT_Read", 0) == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Steps, ConfigurationFailureTest,
                         ::testing::Values(StepCase{"FT_SetBaudRate", FT_INVALID_BAUD_RATE},
                                           StepCase{"FT_SetFlowControl", FT_IO_ERROR},
                                           StepCase{"FT_SetLatencyTimer", FT_INVALID_PARAMETER},
                                           StepCase{"FT_SetDataCharacteristics", FT_IO_ERROR},
                                           StepCase{"FT_SetChars", FT_OTHER_ERROR},
                                           StepCase{"FT_SetTimeouts", FT_IO_ERROR}),
                         [](const auto& info) { return std::string(info.param.step); });

TEST(OpenLink, IgnoresTheUsbParametersStatus) {
    sim::LinkSetup setup;
    setup.failingStep = "FT_SetUSBParameters";
    SimLink rig(setup);
    rig.link.OpenLink();
    EXPECT_EQ(rig.link.LinkStatus, 0);
    EXPECT_NE(rig.link.LinkHandle, nullptr);
}

TEST(OpenLink, QuietBoardCostsOneReadTimeOut) {
    SimLink rig;
    rig.link.OpenLink();
    EXPECT_EQ(rig.link.LinkStatus, 0);
    EXPECT_EQ(rig.clock.Now(), std::chrono::milliseconds(250));
}

TEST(OpenLink, DrainTakesTwentyOfTwentyFiveQueuedBytes) {
    sim::LinkSetup setup;
    setup.queuedAtOpen.assign(25, 0x42);
    SimLink rig(setup);
    rig.link.OpenLink();
    EXPECT_EQ(rig.link.LinkStatus, 0);
    EXPECT_EQ(rig.driver.ReadableBytes(), 5u);
    EXPECT_EQ(rig.clock.Now(), sim::Micros{0}) << "the twenty bytes were there at once";
}

TEST(CloseLink, WithoutAnOpenLinkCallsNothing) {
    SimLink rig;
    rig.link.CloseLink();
    rig.link.OpenLink();
    rig.link.CloseLink();
    rig.link.CloseLink();
    EXPECT_EQ(rig.link.LinkHandle, nullptr);
    const auto& calls = rig.driver.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "FT_Close()"), 1);
    EXPECT_EQ(rig.driver.ClosedHandleCalls(), 0);
}

TEST(ReceiveReply, CollectsAReplyArrivingInPieces) {
    SimLink rig;
    rig.link.OpenLink();
    rig.driver.Inject({'K', 'V', 0x01, 0x16});
    rig.driver.SetReadPieces({1, 3});
    rig.yields = 0;
    rig.link.ReceiveReply(4);
    EXPECT_EQ(rig.link.LinkStatus, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(rig.link.RxBuffer.begin(), rig.link.RxBuffer.begin() + 4),
              (std::vector<std::uint8_t>{'K', 'V', 0x01, 0x16}));
    EXPECT_EQ(rig.yields, 2) << "one yield after each read";
}

TEST(ReceiveReply, TimeOutLeavesSpacesAndStatusEight) {
    SimLink rig;
    rig.link.OpenLink();
    rig.link.RxBuffer.fill('x');
    rig.link.ReceiveReply(2);
    EXPECT_EQ(rig.link.LinkStatus, LinkFailure);
    EXPECT_EQ(rig.link.RxBuffer[0], ' ');
    EXPECT_EQ(rig.link.RxBuffer[1], ' ');
    EXPECT_EQ(rig.link.RxBuffer[4095], ' ');
}

TEST(DrainLink, WaitsUntilTheLineIsQuiet) {
    SimLink rig;
    rig.link.OpenLink();
    const auto start = rig.clock.Now();
    rig.driver.Inject({1, 2, 3}, std::chrono::milliseconds(100));  // still on its way
    rig.driver.Inject({4, 5}, std::chrono::milliseconds(300));
    rig.link.DrainLink();
    EXPECT_EQ(rig.driver.ReadableBytes(), 0u);
    rig.clock.Advance(std::chrono::seconds(1));
    EXPECT_EQ(rig.driver.ReadableBytes(), 0u) << "nothing was left to arrive later";
    EXPECT_GE(rig.clock.Now() - start, std::chrono::milliseconds(300 + 250));
}

TEST(DrainLink, GivesUpOnABoardThatNeverStops) {
    ScriptedDriver driver;
    for (int i = 0; i < 100; ++i) driver.reads.push_back({{0x55}});
    ZandorModule link(driver);
    link.LinkHandle = &driver;  // open, as OpenLink leaves it
    link.DrainLink();
    EXPECT_EQ(driver.readCounts.size(), 20u);
}

// Read results scripted byte for byte, for what a simulated wire cannot produce.
struct ReadCase {
    const char* name;
    std::vector<ScriptedDriver::ReadResult> reads;
    int count;
    std::int32_t status;
    std::size_t readsMade;
    int yields;
};

class CountedReceiveTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(CountedReceiveTest, EndsAsTheReadsSay) {
    const auto& c = GetParam();
    ScriptedDriver driver;
    driver.reads.assign(c.reads.begin(), c.reads.end());
    int yields = 0;
    ZandorModule link(driver, [&] { ++yields; });
    link.LinkHandle = &driver;  // open, as OpenLink leaves it
    link.ReceiveReply(c.count);
    EXPECT_EQ(link.LinkStatus, c.status);
    EXPECT_EQ(driver.readCounts.size(), c.readsMade);
    EXPECT_EQ(yields, c.yields) << "a yield after every read that did not fail in the driver";
}

INSTANTIATE_TEST_SUITE_P(
    Reads, CountedReceiveTest,
    ::testing::Values(
        ReadCase{"CompletedByStatusFourKeepsFour", {{{1, 2}, FT_OK}, {{3, 4}, FT_IO_ERROR}}, 4,
                 FT_IO_ERROR, 2, 2},
        ReadCase{"StatusFourWithNoBytesIsATimeOut", {{{}, FT_IO_ERROR}}, 4, LinkFailure, 1, 1},
        ReadCase{"DriverFailureEndsAtOnce", {{{1}, FT_OK}, {{2}, FT_OTHER_ERROR}}, 4, LinkFailure, 2, 1},
        ReadCase{"ShortReadsGoOnUntilComplete", {{{1}}, {{2}}, {{3}}, {{4}}}, 4, 0, 4, 4},
        ReadCase{"ClaimingMoreThanAskedIsAFailure", {{{1, 2}, FT_OK, 9}}, 2, LinkFailure, 1, 0},
        ReadCase{"NothingAtAllTimesOut", {}, 3, LinkFailure, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CountedReceive, AsksOnlyForTheMissingBytes) {
    ScriptedDriver driver;
    driver.reads = {{{1}}, {{2, 3}}, {{4}}};
    ZandorModule link(driver);
    link.LinkHandle = &driver;  // open, as OpenLink leaves it
    link.ReceiveReply(4);
    EXPECT_EQ(driver.readCounts, (std::vector<DWORD>{4, 3, 1}));
}

TEST(SendCommand, FailedWriteReadsNothing) {
    ScriptedDriver driver;
    driver.writeStatus = FT_IO_ERROR;
    ZandorModule link(driver);
    link.LinkHandle = &driver;  // open, as OpenLink leaves it
    link.TxBuffer[0] = 'G';
    link.TxBuffer[1] = 'I';
    link.SendCommand(2);
    EXPECT_EQ(link.LinkStatus, FT_IO_ERROR);
    EXPECT_TRUE(driver.readCounts.empty());
    ASSERT_EQ(driver.written.size(), 1u);
    EXPECT_EQ(driver.written[0], (std::vector<std::uint8_t>{'G', 'I'}));
}

TEST(SendCommand, EchoIsCountedNotCompared) {
    ScriptedDriver driver;
    driver.reads = {{{'x', 'y'}}};
    ZandorModule link(driver);
    link.LinkHandle = &driver;  // open, as OpenLink leaves it
    link.TxBuffer[0] = 'G';
    link.TxBuffer[1] = 'I';
    link.SendCommand(2);
    EXPECT_EQ(link.LinkStatus, 0);
}

TEST(SendCommand, RefusesCountsOutsideTheBuffer) {
    ScriptedDriver driver;
    ZandorModule link(driver);
    link.LinkHandle = &driver;  // open, as OpenLink leaves it
    for (int count : {0, -1, 4097}) {
        link.SendCommand(count);
        EXPECT_NE(link.LinkStatus, 0) << count;
    }
    EXPECT_TRUE(driver.written.empty());
}

}  // namespace
