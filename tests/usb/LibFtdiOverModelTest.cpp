// SPDX-License-Identifier: MIT
// The libftdi1 back end through real, unmodified libftdi1 against the
// USB-level FT232R model, in real time: what the chip's 256-byte receive
// buffer, its packets and its latency timer do to the link.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "DemoRelease.h"
#include "InReader.h"
#include "LibFtdiDriver.h"
#include "ModelControl.h"
#include "ZandorModule.h"

using namespace boardlink;
using namespace std::chrono;
using testing_support::ModelControl;

namespace {
// When set, the next thread this process starts fails to start, as in a
// process that has run out of threads.
std::atomic<bool> refuseNextThread{false};
}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (refuseNextThread.exchange(false)) return EAGAIN;
    return real(thread, attr, start, arg);
}

namespace {

std::size_t ThreadsOfThisProcess() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// A link over a fresh bus: `devices` and `board` as the model reads them.
struct OverModel {
    explicit OverModel(const std::string& devices = {}, const std::string& board = {},
                       std::function<void()> yield = {}) {
        model.Reset(devices, board);
        driver = MakeLibFtdiDriver();
        link = std::make_unique<ZandorModule>(*driver, std::move(yield));
    }
    ~OverModel() { link->CloseLink(); }

    ModelControl model;
    std::unique_ptr<FtdiDriver> driver;
    std::unique_ptr<ZandorModule> link;
};

milliseconds Since(steady_clock::time_point start) {
    return duration_cast<milliseconds>(steady_clock::now() - start);
}

struct FindCase {
    const char* name;
    const char* devices;
    std::int32_t status;  // of opening "Ambercord Serial Link"
    int device = 0;       // which one is opened
};

class FindBoardTest : public ::testing::TestWithParam<FindCase> {};

// Boards are found by their product string alone; the others are told apart.
TEST_P(FindBoardTest, OpensByProductString) {
    OverModel rig(GetParam().devices);
    if (GetParam().status != 0) {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(rig.driver->OpenEx(FirstDescription, FT_OPEN_BY_DESCRIPTION, &handle), GetParam().status);
        EXPECT_EQ(handle, nullptr);
        rig.link->OpenLink();
        EXPECT_NE(rig.link->LinkStatus, 0);
        EXPECT_EQ(rig.link->LinkHandle, nullptr);
        int token = 0;
        EXPECT_EQ(rig.driver->Purge(&token, 3), FT_INVALID_HANDLE) << "a handle it never gave out";
        return;
    }
    rig.link->OpenLink();
    ASSERT_EQ(rig.link->LinkStatus, 0);
    rig.link->QueryLoader();
    EXPECT_EQ(rig.link->LinkStatus, 0);
    EXPECT_EQ(std::string(rig.link->RxBuffer.begin(), rig.link->RxBuffer.begin() + 2), "KV");
    const auto stats = rig.model.Stats(GetParam().device);
    EXPECT_EQ(stats.baud_rate, 125000u) << "the divisor on the wire decodes to the rate";
    EXPECT_EQ(stats.latency_ms, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, FindBoardTest,
    ::testing::Values(
        FindCase{"AllStrings", "product=Ambercord Serial Link", 0},
        FindCase{"NoManufacturerString", "product=Ambercord Serial Link,manufacturer=-", 0},
        FindCase{"NoSerialString", "product=Ambercord Serial Link,serial=-", 0},
        FindCase{"NeitherManufacturerNorSerial", "product=Ambercord Serial Link,manufacturer=-,serial=-", 0},
        FindCase{"SecondDescription", "product=FT232R USB UART,serial=-", 0},
        FindCase{"BehindAnotherFtdiDevice", "product=USB <-> Serial;product=Ambercord Serial Link", 0, 1},
        FindCase{"OtherProductOnly", "product=USB <-> Serial", FT_DEVICE_NOT_FOUND},
        FindCase{"CaseMatters", "product=ambercord serial link", FT_DEVICE_NOT_FOUND},
        FindCase{"NoDevice", "none", FT_DEVICE_NOT_FOUND},
        FindCase{"NoPermission", "product=Ambercord Serial Link,access=denied", FT_DEVICE_NOT_OPENED},
        FindCase{"InUseElsewhere", "product=Ambercord Serial Link,busy=yes", FT_DEVICE_NOT_OPENED}),
    [](const auto& info) { return std::string(info.param.name); });

// While a 2,048-byte write runs (164 ms at 125000 baud), the board echoes
// every byte; the chip holds 256 of them.
TEST(LibFtdiOverModel, EchoOfASynchronousWriteArrivesWhole) {
    OverModel rig;
    rig.link->OpenLink();
    ASSERT_EQ(rig.link->LinkStatus, 0);
    std::vector<std::uint8_t> data(2048);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>('0' + i % 10);
    DWORD written = 0;
    ASSERT_EQ(rig.driver->Write(rig.link->LinkHandle, data.data(), 2048, &written), FT_OK);
    rig.link->ReceiveReply(2048);
    EXPECT_EQ(rig.link->LinkStatus, 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), rig.link->RxBuffer.begin()));
    EXPECT_EQ(rig.model.Stats().receive_overflows, 0u);
}

// The read-back's 2,048 bytes follow the frame's echo at once, while the
// window handles an event that takes 50 ms.
TEST(LibFtdiOverModel, ReadBackSurvivesASlowWindowEvent) {
    const auto image = image::DemoImage();
    OverModel rig({}, "--old-release 1.6", [] { std::this_thread::sleep_for(milliseconds(50)); });
    ZandorModule& link = *rig.link;
    link.OpenLink();
    ASSERT_EQ(link.LinkStatus, 0);
    link.BlockTxBuffer.assign(image.begin() + 8 + 2048, image.begin() + 8 + 4096);
    link.BlockTxBuffer.push_back(0);
    link.BlockRxBuffer.assign(2049, 0);
    link.FlashAddress = 0x400;
    link.BlockLength = 512;
    link.ReadBackBlock();
    EXPECT_EQ(link.LinkStatus, 0);
    EXPECT_EQ(rig.model.Stats().receive_overflows, 0u);
}

struct TrickleCase {
    const char* name;
    unsigned intervalUs;
    DWORD fewest;  // bytes that come in 245 ms
};

class TrickleTest : public ::testing::TestWithParam<TrickleCase> {};

// Bytes that keep coming, slowly or just faster than the chip's latency
// timer, must not hold a read past its time-out.
TEST_P(TrickleTest, ReadEndsAtItsTimeOut) {
    OverModel rig;
    rig.link->OpenLink();
    ASSERT_EQ(rig.link->LinkStatus, 0);
    const auto sending = steady_clock::now();
    rig.model.BoardSends(std::vector<unsigned char>(2000, 0x55), GetParam().intervalUs);
    std::vector<std::uint8_t> buffer(4096);
    DWORD delivered = 0;
    const auto start = steady_clock::now();
    EXPECT_EQ(rig.driver->Read(rig.link->LinkHandle, buffer.data(), 4096, &delivered), FT_OK);
    const auto took = Since(start);
    // The board starts before the read: what came in between is delivered too.
    const auto sent = Since(sending);
    EXPECT_GE(took, milliseconds(245));
    // A loaded machine may wake the caller late; a read held by the trickle
    // (as libftdi1's own read loop holds it) takes seconds.
    EXPECT_LE(took, milliseconds(350)) << "the 250 ms read time-out counts from the call";
    EXPECT_GE(delivered, GetParam().fewest);
    EXPECT_LE(delivered, static_cast<DWORD>(sent.count()) * 1000 / GetParam().intervalUs + 3)
        << "more bytes than came while it waited";
}

INSTANTIATE_TEST_SUITE_P(Rates, TrickleTest,
                         ::testing::Values(TrickleCase{"OneByteEvery100ms", 100000, 2},
                                           TrickleCase{"OneByteEveryMillisecond", 1000, 235}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PurgeCase {
    const char* name;
    const char* devices;  // the model's setting for how cancels come back
    // The link sets 2 ms. At the chip's own 16 ms a board that talks fast
    // fills transfers with whole packets, so a transfer cancelled by the
    // purge comes back holding bytes from before it.
    UCHAR latencyMs = LatencyTimerMs;
};

class PurgeTest : public ::testing::TestWithParam<PurgeCase> {};

// Round after round the board sends 80 ms of bytes at its full rate, the
// link purges just after the last one arrived, and the board sends 120 ms
// more. The link's reads after each purge return exactly those 120 ms, in
// order: no byte the chip had before the purge, none lost. The rounds go on
// past the moment a slow host gives the first purge's transfers back.
TEST_P(PurgeTest, ReadsAfterAPurgeReturnOnlyWhatCameAfterIt) {
    OverModel rig(GetParam().devices);
    rig.link->OpenLink();
    ASSERT_EQ(rig.link->LinkStatus, 0);
    ASSERT_EQ(rig.driver->SetLatencyTimer(rig.link->LinkHandle, GetParam().latencyMs), FT_OK);
    // Byte i of all the board sends is i % 251, a prime: no buffer or packet
    // size lines up with it.
    const std::uint64_t before = rig.model.Stats().board_to_host;
    std::size_t sent = 0;
    const auto send = [&](std::size_t count) {
        std::vector<unsigned char> bytes(count);
        for (auto& b : bytes) b = static_cast<unsigned char>(sent++ % 251);
        rig.model.BoardSends(bytes, 80);
    };
    constexpr std::size_t Wanted = 1500;  // 120 ms at 125000 baud
    const auto start = steady_clock::now();
    for (int purge = 1; purge <= 5 || Since(start) < milliseconds(1800); ++purge) {
        send(1000);
        // Its bytes wait in the host buffer, the transfers and the chip.
        std::this_thread::sleep_for(milliseconds(85));
        rig.link->PurgeLink();
        ASSERT_EQ(rig.link->LinkStatus, 0);
        ASSERT_EQ(rig.model.Stats().board_bytes_at_purge - before, sent) << "all reached the chip";
        const std::size_t from = sent;
        send(Wanted);
        std::vector<std::uint8_t> read;
        const auto deadline = steady_clock::now() + seconds(1);
        while (read.size() < Wanted && steady_clock::now() < deadline) {
            std::uint8_t buffer[512];
            DWORD delivered = 0;
            const auto count = static_cast<DWORD>(std::min(sizeof buffer, Wanted - read.size()));
            ASSERT_EQ(rig.driver->Read(rig.link->LinkHandle, buffer, count, &delivered), FT_OK);
            read.insert(read.end(), buffer, buffer + delivered);
        }
        ASSERT_EQ(read.size(), Wanted) << "purge " << purge << ": reading goes on after it";
        for (std::size_t i = 0; i < Wanted; ++i)
            ASSERT_EQ(read[i], (from + i) % 251) << "purge " << purge << ": byte " << i << " after it";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cancels, PurgeTest,
    ::testing::Values(PurgeCase{"ComeBackAtOnce", ""},
                      PurgeCase{"ComeBackOnlyAfterASecondAndAHalf", "cancel=slow"},
                      PurgeCase{"NeverComeBack", "cancel=stuck"},
                      PurgeCase{"ComeBackAtOnceHoldingBytes", "", 16},
                      PurgeCase{"ComeBackLateHoldingBytes", "cancel=slow", 16}),
    [](const auto& info) { return std::string(info.param.name); });

// What a close may meet: a close ends within the reader's bound (a margin
// for a loaded machine) and leaves no thread, transfer or claim behind.
struct CloseCase {
    const char* name;
    void (*meanwhile)(ModelControl&);
    milliseconds within;
};

class CloseTest : public ::testing::TestWithParam<CloseCase> {};

TEST_P(CloseTest, EndsWithinItsBoundLeavingNothingBehind) {
    const std::size_t threads = ThreadsOfThisProcess();
    OverModel rig;
    rig.link->OpenLink();
    ASSERT_EQ(rig.link->LinkStatus, 0);
    GetParam().meanwhile(rig.model);
    std::this_thread::sleep_for(milliseconds(20));
    const auto start = steady_clock::now();
    rig.link->CloseLink();
    EXPECT_LE(Since(start), GetParam().within);
    const auto stats = rig.model.Stats();
    EXPECT_EQ(stats.open_handles, 0);
    EXPECT_EQ(stats.transfers_out, 0) << "transfers left with libusb";
    EXPECT_EQ(ThreadsOfThisProcess(), threads) << "the reader's thread outlived the close";
    if (!stats.unplugged) {
        EXPECT_EQ(stats.kernel_driver_bound, 1) << "ftdi_sio gets its interface back";
    }
}

constexpr auto Bound = InReader::CancelBound + milliseconds(150);
INSTANTIATE_TEST_SUITE_P(
    Situations, CloseTest,
    ::testing::Values(
        CloseCase{"Idle", [](ModelControl&) {}, milliseconds(100)},
        CloseCase{"ChipStalled", [](ModelControl& m) { m.StallIn(true); }, milliseconds(100)},
        CloseCase{"DeviceGone", [](ModelControl& m) { m.Unplug(); }, milliseconds(100)},
        CloseCase{"CancelledTransfersComeBackLate",
                  [](ModelControl& m) { m.CancelsComeBackAfter(milliseconds(1500)); }, Bound},
        CloseCase{"CancelledTransfersNeverComeBack", [](ModelControl& m) { m.CancelsNeverComeBack(); }, Bound},
        // As in the middle of an update: the board is sending a block back.
        CloseCase{"BoardSendingAndCancelsStuck",
                  [](ModelControl& m) {
                      m.CancelsNeverComeBack();
                      m.BoardSends(std::vector<unsigned char>(2048, 0x5A), 80);
                  },
                  Bound}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LibFtdiOverModel, AReaderWhoseThreadCannotStartFailsTheOpenAndTakesItsTransfersBack) {
    const std::size_t threads = ThreadsOfThisProcess();
    ModelControl model;
    model.Reset();
    auto driver = MakeLibFtdiDriver();
    FT_HANDLE handle = nullptr;
    refuseNextThread = true;
    const auto start = steady_clock::now();
    EXPECT_NE(driver->OpenEx(FirstDescription, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    EXPECT_FALSE(refuseNextThread) << "the open started no thread";
    EXPECT_LE(Since(start), Bound);
    EXPECT_EQ(handle, nullptr);
    const auto stats = model.Stats();
    EXPECT_EQ(stats.open_handles, 0);
    EXPECT_EQ(stats.transfers_out, 0);
    EXPECT_EQ(stats.kernel_driver_bound, 1);
    EXPECT_EQ(ThreadsOfThisProcess(), threads);
}

TEST(LibFtdiOverModel, UnplugDuringAReadFailsAtOnceAndNeverHangs) {
    OverModel rig;
    rig.link->OpenLink();
    ASSERT_EQ(rig.link->LinkStatus, 0);
    ASSERT_EQ(rig.driver->SetTimeouts(rig.link->LinkHandle, 0, 0), FT_OK);  // wait for the count
    std::thread unplug([&] {
        std::this_thread::sleep_for(milliseconds(30));
        rig.model.Unplug();
    });
    std::vector<std::uint8_t> buffer(16);
    DWORD delivered = 0;
    const auto start = steady_clock::now();
    EXPECT_EQ(rig.driver->Read(rig.link->LinkHandle, buffer.data(), 16, &delivered), FT_IO_ERROR);
    EXPECT_LE(Since(start), milliseconds(130));
    unplug.join();
    DWORD written = 0;
    EXPECT_NE(rig.driver->Write(rig.link->LinkHandle, buffer.data(), 2, &written), FT_OK);
    EXPECT_NE(rig.driver->Purge(rig.link->LinkHandle, 3), FT_OK);
}

TEST(LibFtdiOverModel, TheInterfaceIsDetachedFromTheKernelOnlyWhileOpen) {
    OverModel rig;
    EXPECT_EQ(rig.model.Stats().kernel_driver_bound, 1);
    rig.link->OpenLink();
    ASSERT_EQ(rig.link->LinkStatus, 0);
    EXPECT_EQ(rig.model.Stats().kernel_driver_bound, 0);
    rig.link->CloseLink();
    EXPECT_EQ(rig.model.Stats().kernel_driver_bound, 1);
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests touches no device; everything else needs the model.
    const bool listing = argc > 1 && std::string(argv[1]) == "--gtest_list_tests";
    if (!listing) testing_support::ModelControl::RefuseUnlessModel();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
