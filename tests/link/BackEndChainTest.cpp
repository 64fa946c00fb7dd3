// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "BackEndChain.h"
#include "LoaderBoard.h"
#include "SimClock.h"
#include "SimDriver.h"
#include "ZandorModule.h"

using namespace boardlink;

namespace {

// A back end that opens nothing, with a fixed answer, and counts what it is asked.
class Refusing final : public FtdiDriver {
public:
    explicit Refusing(FT_STATUS answer, int& calls) : answer_(answer), calls_(calls) {}
    FT_STATUS OpenEx(const char*, DWORD, FT_HANDLE*) override { return ++calls_, answer_; }
    FT_STATUS SetBaudRate(FT_HANDLE, ULONG) override { return Other(); }
    FT_STATUS SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) override { return Other(); }
    FT_STATUS SetLatencyTimer(FT_HANDLE, UCHAR) override { return Other(); }
    FT_STATUS SetUSBParameters(FT_HANDLE, ULONG, ULONG) override { return Other(); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return Other(); }
    FT_STATUS SetChars(FT_HANDLE, UCHAR, UCHAR, UCHAR, UCHAR) override { return Other(); }
    FT_STATUS SetTimeouts(FT_HANDLE, ULONG, ULONG) override { return Other(); }
    FT_STATUS Purge(FT_HANDLE, ULONG) override { return Other(); }
    FT_STATUS Write(FT_HANDLE, const void*, DWORD, DWORD*) override { return Other(); }
    FT_STATUS Read(FT_HANDLE, void*, DWORD, DWORD*) override { return Other(); }
    FT_STATUS Close(FT_HANDLE) override { return Other(); }

private:
    FT_STATUS Other() { return ++calls_, FT_INVALID_HANDLE; }
    FT_STATUS answer_;
    int& calls_;
};

struct ChainCase {
    const char* name;
    FT_STATUS first;       // the vendor library's answer
    bool boardBehindSecond;
    FT_STATUS second;      // libftdi1's answer when the board is not behind it
    std::int32_t linkStatus;
};

class BackEndChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(BackEndChainTest, TriesEachBackEndInTurn) {
    const auto& c = GetParam();
    sim::VirtualClock clock;
    sim::LoaderBoard board;
    int firstCalls = 0, secondCalls = 0;
    std::vector<std::unique_ptr<FtdiDriver>> backEnds;
    backEnds.push_back(std::make_unique<Refusing>(c.first, firstCalls));
    if (c.boardBehindSecond)
        backEnds.push_back(std::make_unique<sim::SimDriver>(clock, board));
    else
        backEnds.push_back(std::make_unique<Refusing>(c.second, secondCalls));
    BackEndChain chain(std::move(backEnds));
    ZandorModule link(chain);
    link.OpenLink();
    EXPECT_EQ(link.LinkStatus, c.linkStatus);
    if (c.linkStatus != 0) return;
    link.QueryLoader();
    EXPECT_EQ(link.LinkStatus, 0) << "every call goes to the back end that opened";
    EXPECT_EQ(firstCalls, 1) << "the first back end is asked to open, and nothing else";
    const FT_HANDLE handle = link.LinkHandle;
    link.CloseLink();
    EXPECT_EQ(chain.Purge(handle, 3), FT_INVALID_HANDLE) << "a closed handle belongs to no one";
}

INSTANTIATE_TEST_SUITE_P(
    Orders, BackEndChainTest,
    ::testing::Values(
        ChainCase{"VendorFindsNothing", FT_DEVICE_NOT_FOUND, true, FT_OK, 0},
        ChainCase{"VendorCannotOpenWhileTheKernelHoldsIt", FT_DEVICE_NOT_OPENED, true, FT_OK, 0},
        ChainCase{"NoBoardAnywhere", FT_DEVICE_NOT_FOUND, false, FT_DEVICE_NOT_FOUND, FT_DEVICE_NOT_FOUND},
        ChainCase{"TheMoreTellingStatusWins", FT_DEVICE_NOT_FOUND, false, FT_DEVICE_NOT_OPENED,
                  FT_DEVICE_NOT_OPENED},
        ChainCase{"FirstTellingStatusWins", FT_DEVICE_NOT_OPENED, false, FT_IO_ERROR,
                  FT_DEVICE_NOT_OPENED}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
