// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "DescriptionMatch.h"
#include "DriverChoice.h"
#include "LibFtdiDriver.h"
#include "LibFtdiStatus.h"
#include "ReadEmulation.h"
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
        MapCase{"SuccessIsOk", LibFtdiCall::Read, 17, FT_OK},
        MapCase{"NoContext", LibFtdiCall::New, -1, FT_DEVICE_NOT_FOUND},
        MapCase{"FindAllOutOfMemory", LibFtdiCall::FindAll, -3, FT_INSUFFICIENT_RESOURCES},
        MapCase{"FindAllListFailed", LibFtdiCall::FindAll, -5, FT_DEVICE_NOT_FOUND},
        MapCase{"OpenNoPermission", LibFtdiCall::OpenDev, -4, FT_DEVICE_NOT_OPENED},
        MapCase{"OpenBusy", LibFtdiCall::OpenDev, -5, FT_DEVICE_NOT_OPENED},
        MapCase{"OpenInvalidContext", LibFtdiCall::OpenDev, -11, FT_INVALID_HANDLE},
        MapCase{"OpenResetFailed", LibFtdiCall::OpenDev, -6, FT_IO_ERROR},
        MapCase{"BaudInvalid", LibFtdiCall::SetBaudRate, -1, FT_INVALID_BAUD_RATE},
        MapCase{"BaudFailed", LibFtdiCall::SetBaudRate, -2, FT_IO_ERROR},
        MapCase{"BaudUnavailable", LibFtdiCall::SetBaudRate, -3, FT_INVALID_HANDLE},
        MapCase{"LatencyOutOfRange", LibFtdiCall::SetLatencyTimer, -1, FT_INVALID_PARAMETER},
        MapCase{"FlowFailed", LibFtdiCall::SetFlowControl, -1, FT_IO_ERROR},
        MapCase{"LineUnavailable", LibFtdiCall::SetLineProperty, -2, FT_INVALID_HANDLE},
        MapCase{"FlushFailed", LibFtdiCall::Flush, -1, FT_IO_ERROR},
        MapCase{"WriteUnavailable", LibFtdiCall::Write, -666, FT_IO_ERROR},
        MapCase{"ReadFailed", LibFtdiCall::Read, -1, FT_IO_ERROR}),
    [](const auto& info) { return std::string(info.param.name); });

// Transfers scripted per call, on a clock that moves only as transfers take time.
class FakeChunks final : public ChunkReader {
public:
    struct Transfer {
        std::vector<std::uint8_t> bytes;
        int result = 0;  // negative: a library error; otherwise bytes.size() is returned
        int claim = -1;  // >= 0: report this many, whatever was copied
    };
    std::deque<Transfer> transfers;  // when empty, every transfer brings nothing
    milliseconds transferTime{2};    // the latency timer: an idle transfer takes this long
    std::chrono::steady_clock::time_point now{};
    int calls = 0, sleeps = 0;

    int ReadChunk(std::uint8_t* buffer, int size) override {
        ++calls;
        now += transferTime;
        if (transfers.empty()) return 0;
        Transfer t = transfers.front();
        transfers.pop_front();
        if (t.result < 0) return t.result;
        const int n = std::min<int>(size, static_cast<int>(t.bytes.size()));
        std::copy_n(t.bytes.begin(), n, buffer);
        return t.claim >= 0 ? t.claim : n;
    }
    std::chrono::steady_clock::time_point Now() override { return now; }
    void Sleep(std::chrono::microseconds d) override {
        ++sleeps;
        now += d;
    }
};

struct ReadCase {
    const char* name;
    std::deque<FakeChunks::Transfer> transfers;
    DWORD count;
    FT_STATUS status;
    std::vector<std::uint8_t> delivered;
    milliseconds elapsedAtMost;
};

class ReadEmulationTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadEmulationTest, ReadsUntilCountOrTimeOut) {
    const auto& c = GetParam();
    FakeChunks chunks;
    chunks.transfers = c.transfers;
    std::vector<std::uint8_t> buffer(c.count + 8, 0xAA);
    DWORD delivered = 12345;
    const auto start = chunks.now;
    const auto status =
        ReadUntilCountOrTimeout(chunks, buffer.data(), c.count, &delivered, milliseconds(250));
    EXPECT_EQ(status, c.status);
    ASSERT_EQ(delivered, c.delivered.size());
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + delivered), c.delivered);
    EXPECT_TRUE(std::all_of(buffer.begin() + c.count, buffer.end(), [](auto b) { return b == 0xAA; }))
        << "nothing stored past the count";
    EXPECT_LE(chunks.now - start, c.elapsedAtMost);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, ReadEmulationTest,
    ::testing::Values(
        ReadCase{"ArrivesInPieces", {{{1}}, {}, {{2, 3}}, {{4}}}, 4, FT_OK, {1, 2, 3, 4}, milliseconds(10)},
        ReadCase{"NeverCompletes", {{{1, 2}}}, 4, FT_OK, {1, 2}, milliseconds(252)},
        ReadCase{"NothingAtAll", {}, 4, FT_OK, {}, milliseconds(252)},
        ReadCase{"ErrorInTheMiddle", {{{1, 2}}, {{}, -1}}, 4, FT_IO_ERROR, {1, 2}, milliseconds(10)},
        ReadCase{"ErrorFirst", {{{}, -666}}, 4, FT_IO_ERROR, {}, milliseconds(10)},
        ReadCase{"MoreClaimedThanAskedIsClamped", {{{1, 2, 3}, 0, 9}}, 3, FT_OK, {1, 2, 3},
                 milliseconds(10)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadEmulation, AnIdleDeviceThatAnswersAtOnceDoesNotSpin) {
    FakeChunks chunks;
    chunks.transferTime = milliseconds(0);
    std::uint8_t buffer[4];
    DWORD delivered = 0;
    ReadUntilCountOrTimeout(chunks, buffer, 4, &delivered, milliseconds(250));
    EXPECT_LE(chunks.calls, 251) << "at most one transfer per idle pause";
    EXPECT_GE(chunks.sleeps, 1);
}

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

// On a machine without the board, opening through libftdi1 finds nothing and
// says so with a status, never a crash.
TEST(LibFtdiDriver, NoBoardMeansDeviceNotFound) {
    if (std::getenv("UPDATER_TEST_BOARD") != nullptr) GTEST_SKIP() << "a board is attached";
    auto driver = MakeLibFtdiDriver();
    ZandorModule link(*driver);
    link.OpenLink();
    EXPECT_EQ(link.LinkStatus, FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(link.LinkHandle, nullptr);
    int token = 0;
    EXPECT_EQ(driver->Purge(&token, 3), FT_INVALID_HANDLE) << "a handle it never gave out";
}

// With a board in update mode attached: UPDATER_TEST_BOARD=1.
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
