// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "DescriptionMatch.h"
#include "DriverChoice.h"
#include "LibFtdiStatus.h"
#include "ZandorModule.h"

using namespace boardlink;
using std::chrono::milliseconds;

namespace {

struct MapCase {
    const char* name;
    LibFtdiCall call;
    int result;
    FT_STATUS status;
};

class LibFtdiStatusTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(LibFtdiStatusTest, MapsToTheD2xxStatus) {
    EXPECT_EQ(MapLibFtdiResult(GetParam().call, GetParam().result), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LibFtdiStatusTest,
    ::testing::Values(
        MapCase{"SuccessIsOk", LibFtdiCall::Write, 17, FT_OK},
        MapCase{"NoContext", LibFtdiCall::New, -1, FT_DEVICE_NOT_FOUND},
        MapCase{"FindAllOutOfMemory", LibFtdiCall::FindAll, -3, FT_INSUFFICIENT_RESOURCES},
        MapCase{"FindAllListFailed", LibFtdiCall::FindAll, -5, FT_DEVICE_NOT_FOUND},
        MapCase{"OpenConfigurationInUse", LibFtdiCall::OpenDev, -3, FT_DEVICE_NOT_OPENED},
        MapCase{"OpenNoPermission", LibFtdiCall::OpenDev, -4, FT_DEVICE_NOT_OPENED},
        MapCase{"OpenBusy", LibFtdiCall::OpenDev, -5, FT_DEVICE_NOT_OPENED},
        MapCase{"OpenClaimNoPermission", LibFtdiCall::OpenDev, -8, FT_DEVICE_NOT_OPENED},
        MapCase{"OpenResetFailed", LibFtdiCall::OpenDev, -6, FT_IO_ERROR},
        MapCase{"OpenGetConfigurationFailed", LibFtdiCall::OpenDev, -12, FT_IO_ERROR},
        MapCase{"BaudInvalid", LibFtdiCall::SetBaudRate, -1, FT_INVALID_BAUD_RATE},
        MapCase{"BaudFailed", LibFtdiCall::SetBaudRate, -2, FT_IO_ERROR},
        MapCase{"BaudUnavailable", LibFtdiCall::SetBaudRate, -3, FT_INVALID_HANDLE},
        MapCase{"LatencyOutOfRange", LibFtdiCall::SetLatencyTimer, -1, FT_INVALID_PARAMETER},
        MapCase{"FlowFailed", LibFtdiCall::SetFlowControl, -1, FT_IO_ERROR},
        MapCase{"LineUnavailable", LibFtdiCall::SetLineProperty, -2, FT_INVALID_HANDLE},
        MapCase{"FlushFailed", LibFtdiCall::Flush, -1, FT_IO_ERROR},
        MapCase{"FlushUnavailable", LibFtdiCall::Flush, -3, FT_INVALID_HANDLE},
        MapCase{"WriteUnavailable", LibFtdiCall::Write, -666, FT_IO_ERROR}),
    [](const auto& info) { return std::string(info.param.name); });

struct MatchCase {
    const char* name;
    std::vector<std::optional<std::string>> products;
    std::optional<std::size_t> match;
};

class DescriptionMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(DescriptionMatchTest, ExactCaseSensitiveFirstMatch) {
    EXPECT_EQ(FirstMatchingDescription(GetParam().products, "Ambercord Serial Link"),
              GetParam().match);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, DescriptionMatchTest,
    ::testing::Values(
        MatchCase{"Exact", {"FT232R USB UART", "Ambercord Serial Link"}, 1},
        MatchCase{"FirstMatchWins", {"Ambercord Serial Link", "Ambercord Serial Link"}, 0},
        MatchCase{"CaseMatters", {"ambercord serial link", "AMBERCORD SERIAL LINK"}, std::nullopt},
        MatchCase{"NoPrefixOrSuffix", {"Ambercord Serial Link 2", "Ambercord Serial"}, std::nullopt},
        MatchCase{"UnreadableStringsNeverMatch", {std::nullopt, "Ambercord Serial Link"}, 1},
        MatchCase{"NoDevices", {}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// With a board in update mode attached, and only when asked: UPDATER_TEST_BOARD=1.
// Every other test reaches hardware only through models.
TEST(RealBoard, IdentifiesTheLoader) {
    if (std::getenv("UPDATER_TEST_BOARD") == nullptr)
        GTEST_SKIP() << "no board attached (set UPDATER_TEST_BOARD=1 with a board in update mode)";
    auto driver = ChooseDriver();
    ZandorModule link(*driver);
    link.OpenLink();
    ASSERT_EQ(link.LinkStatus, 0);
    link.PurgeLink();
    link.QueryLoader();
    EXPECT_EQ(link.LinkStatus, 0);
    EXPECT_EQ(std::string(link.RxBuffer.begin(), link.RxBuffer.begin() + 2), "KV");
    link.CloseLink();
}

}  // namespace
