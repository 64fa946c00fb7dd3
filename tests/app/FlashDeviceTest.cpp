// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "AppFacts.h"
#include "Rig.h"

using testing_support::Rig;
using sim::Command;

namespace {

struct Attempts {
    int writes = 0;
    int reads = 0;
};

Attempts AttemptsAt(const sim::LoaderBoard& board, std::int32_t address) {
    Attempts a;
    for (const auto& c : board.Commands()) {
        if (c.address != address) continue;
        if (c.command == Command::WriteBlock) ++a.writes;
        if (c.command == Command::ReadBlock) ++a.reads;
    }
    return a;
}

std::vector<std::int32_t> Addresses(const sim::LoaderBoard& board, Command command) {
    std::vector<std::int32_t> addresses;
    for (const auto& c : board.Commands())
        if (c.command == command) addresses.push_back(c.address);
    return addresses;
}

std::vector<std::int32_t> CleanOrder() {
    std::vector<std::int32_t> order;
    for (std::int32_t a = 0x400; a <= 0xF800; a += 0x400) order.push_back(a);
    order.push_back(0);
    return order;
}

std::vector<std::uint8_t> FlashSpan(const Rig& rig, std::size_t from, std::size_t count) {
    const auto& flash = rig.board.Flash();
    return {flash.begin() + static_cast<long>(from), flash.begin() + static_cast<long>(from + count)};
}

const char* MainWrite = "Device write error! Data is corrupted!  Re-try update!";
const char* MainVerify = "Device verify error!  Data is corrupted!  Re-try update!";
const char* PageWrite =
    "Step 3 - Device write error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!";
const char* PageVerify =
    "Device verify error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!";

TEST(FlashDevice, CleanRunProgramsEveryBlockAndTheBootPageLast) {
    Rig rig;
    rig.RunUpdate();
    EXPECT_EQ(Addresses(rig.board, Command::WriteBlock), CleanOrder());
    EXPECT_EQ(Addresses(rig.board, Command::ReadBlock), CleanOrder());

    // Flash byte = image byte 8 + flash byte: the header never goes out, and
    // neither do the image's last 2,048 bytes (the block at 0xFC00 stays erased).
    const auto& img = rig.program.Image.FirmwareImage;
    EXPECT_EQ(FlashSpan(rig, 0, 129024), std::vector<std::uint8_t>(img.begin() + 8, img.begin() + 129032));
    EXPECT_EQ(FlashSpan(rig, 129024, 2048), std::vector<std::uint8_t>(2048, 0xFF));

    EXPECT_EQ(rig.window.statusText, "Flash Complete!");
    EXPECT_EQ(rig.window.deviceName, "Zandor - Hardware v2.3");
    EXPECT_EQ(rig.window.VisibleButtons(), std::vector<int>{3});
    EXPECT_FALSE(rig.window.progressVisible);
    EXPECT_EQ(rig.program.UnsupportedFlag, 0);
    EXPECT_TRUE(rig.window.boxes.empty());
}

TEST(FlashDevice, ProgressRunsToSixtyTwoOfSixtyThree) {
    Rig rig;
    rig.StartAndFind();
    rig.window.progressValues.clear();
    rig.window.Click(1);
    std::vector<int> expected{0, 0};  // shown at 0, then Max 63 and 0 again
    for (int k = 0; k <= 62; ++k) expected.push_back(k);
    EXPECT_EQ(rig.window.progressValues, expected);
    EXPECT_EQ(rig.window.progressMax, 63);
    EXPECT_EQ(rig.window.progressValue, 62) << "the bar is left at 62 of 63";
}

// Before the first block goes out, the window shows the run and offers no
// button, and only the two preparation purges have reached the driver.
TEST(FlashDevice, PreparesBeforeTheFirstBlock) {
    Rig rig;
    rig.StartAndFind();
    rig.driver.ClearCalls();
    bool seen = false;
    rig.window.OnYield(1, [&] {  // the first block's yield, before its first write
        seen = true;
        EXPECT_TRUE(rig.window.VisibleButtons().empty());
        EXPECT_EQ(rig.window.keyboardFocus, app::NoButton);
        EXPECT_TRUE(rig.window.progressVisible);
        EXPECT_EQ(rig.window.progressMax, 63);
        EXPECT_EQ(rig.window.progressValue, 0);
        EXPECT_EQ(rig.window.statusText, "Flashing device...");
        EXPECT_EQ(rig.driver.Calls(), (std::vector<std::string>{"FT_Purge(3)", "FT_Purge(3)"}));
    });
    rig.window.Click(1);
    EXPECT_TRUE(seen);
}

TEST(FlashDevice, YieldsOncePerBlockBeforeItsFirstWrite) {
    Rig rig;
    rig.StartAndFind();
    rig.window.log.clear();
    rig.window.Click(1);
    // Each block's bar update comes right before a yield, which comes before
    // the block's first write; the two preparation updates yield nothing.
    const auto& log = rig.window.log;
    int updates = 0;
    int followedByYield = 0;
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
        if (log[i].rfind("Progress value ", 0) != 0) continue;
        ++updates;
        if (log[i + 1] == "Yield") ++followedByYield;
    }
    EXPECT_EQ(updates, 65);
    EXPECT_EQ(followedByYield, 63);
}

struct RetryCase {
    const char* name;
    std::vector<const char*> faults;
    bool complete;
    const char* text;
    const char* title;
    std::int32_t failAddress;  // the block the run ended on, when it failed
    Attempts atFailure;
    int progressAtFailure;
};

class RetryTest : public ::testing::TestWithParam<RetryCase> {};

TEST_P(RetryTest, RetriesAndReports) {
    const auto& c = GetParam();
    sim::ScriptedFaults faults;
    for (const char* f : c.faults) ASSERT_EQ(faults.Add(f), "") << f;
    Rig rig({}, {}, &faults);
    rig.window.recordYields = false;
    rig.RunUpdate();
    if (c.complete) {
        EXPECT_EQ(rig.window.statusText, "Flash Complete!");
        EXPECT_TRUE(rig.window.boxes.empty());
        EXPECT_EQ(rig.program.UnsupportedFlag, 0);
        return;
    }
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    const auto& box = rig.window.boxes[0];
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.title, c.title);
    EXPECT_EQ(box.style, 0);
    EXPECT_EQ(box.statusLine, "Flashing device...");
    EXPECT_EQ(box.progressValue, c.progressAtFailure);
    const auto at = AttemptsAt(rig.board, c.failAddress);
    EXPECT_EQ(at.writes, c.atFailure.writes);
    EXPECT_EQ(at.reads, c.atFailure.reads);
    // Nothing after the failing block; the boot page only in the first-page stage.
    const auto& last = rig.board.Commands().back();
    EXPECT_EQ(last.address, c.failAddress);
    if (c.failAddress != 0) {
        EXPECT_EQ(AttemptsAt(rig.board, 0).writes, 0);
        EXPECT_EQ(FlashSpan(rig, 0, 2048), std::vector<std::uint8_t>(2048, 0xFF));
    }
    EXPECT_EQ(rig.program.UnsupportedFlag, -1);
    EXPECT_EQ(rig.window.VisibleButtons(), std::vector<int>{0});
    EXPECT_EQ(rig.window.statusText, "");
    EXPECT_FALSE(rig.window.progressVisible);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RetryTest,
    ::testing::Values(
        RetryCase{"FortyNineFailedWritesThenGood", {"ack-wrong@0x400#1-49", "ack-wrong@0x800#1-49"},
                  true, "", "", 0, {}, 0},
        RetryCase{"FailedReadBackIsOnlyReadAgain", {"corrupt@0x400#1-10"}, true, "", "", 0, {}, 0},
        RetryCase{"FiftyFailedWrites", {"ack-wrong@0x800"}, false, MainWrite, "Write Failure!",
                  0x800, {50, 0}, 1},
        RetryCase{"WritesAndReadBacksShareTheCounter",
                  {"ack-wrong@0xC00#1-30", "corrupt@0xC00#1-20"}, false, MainVerify,
                  "Verify Failure!", 0xC00, {31, 20}, 2},
        RetryCase{"StatusFourOnTheLastMainBlock", {"status4@0xF800#1-"}, false, MainWrite, "Write Failure!",
                  0xF800, {50, 0}, 61},
        RetryCase{"FirstPageWrite", {"ack-missing@0"}, false, PageWrite, "Write Failure!", 0,
                  {50, 0}, 62},
        RetryCase{"FirstPageVerify", {"corrupt@0=5"}, false, PageVerify, "Verify Failure!", 0,
                  {1, 50}, 62},
        // The write frame's echo never came: where it landed is unknown.
        RetryCase{"BoardGoneMidRun", {"gone@0x2000"}, false, PageWrite, "Write Failure!", 0x2000,
                  {1, 0}, 7}),
    [](const auto& info) { return std::string(info.param.name); });

struct DoubtfulCase {
    const char* name;
    std::vector<const char*> faults;
    const char* text;
    const char* title;
    int progress;
};

class DoubtfulFrameTest : public ::testing::TestWithParam<DoubtfulCase> {};

// Once a write frame did not echo as sent, the board may have taken it for
// another address, the boot page included: whatever fails afterwards is
// reported with the texts that tell the user to keep the board powered.
TEST_P(DoubtfulFrameTest, FailureAfterADoubtfulFrameWarnsAboutTheBootPage) {
    sim::ScriptedFaults faults;
    for (const char* f : GetParam().faults) ASSERT_EQ(faults.Add(f), "");
    Rig rig({}, {}, &faults);
    rig.RunUpdate();
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_EQ(rig.window.boxes[0].text, GetParam().text);
    EXPECT_EQ(rig.window.boxes[0].title, GetParam().title);
    EXPECT_EQ(rig.window.boxes[0].progressValue, GetParam().progress);
    EXPECT_NE(rig.window.statusText, "Flash Complete!");
    EXPECT_EQ(rig.program.UnsupportedFlag, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DoubtfulFrameTest,
    ::testing::Values(
        // The frame's echo comes back as "WG": the board saw no command.
        DoubtfulCase{"WriteFailureInTheMainStage", {"garble@0x2000#1", "ack-wrong@0x4000"},
                     PageWrite, "Write Failure!", 15},
        DoubtfulCase{"VerifyFailureInTheMainStage", {"garble@0x2000#1", "corrupt@0x4000"},
                     PageVerify, "Verify Failure!", 15},
        // A write frame damaged on the wire programs a block verified earlier
        // and is then retried at its own address: only the check pass after
        // the first page sees it, and by then the boot page has been written.
        DoubtfulCase{"FailureInTheCheckPass", {"misaddress@0xC400#1=0x9000", "ack-wrong@0x9000#2"},
                     PageVerify, "Verify Failure!", 62}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlashDevice, ADoubtfulWriteFrameLeadsToACheckOfEveryBlock) {
    sim::ScriptedFaults faults;
    ASSERT_EQ(faults.Add("garble@0x2000#1"), "");  // the frame's echo comes back as "WG"
    Rig rig({}, {}, &faults);
    rig.RunUpdate();
    EXPECT_EQ(rig.window.statusText, "Flash Complete!");
    auto reads = Addresses(rig.board, Command::ReadBlock);
    ASSERT_EQ(reads.size(), 126u);
    const std::vector<std::int32_t> checkPass(reads.begin() + 63, reads.end());
    EXPECT_EQ(checkPass, CleanOrder()) << "every block read back again, boot page last";
}

struct TransientCase {
    const char* name;
    const char* fault;
    std::int32_t address;
    int writes;
};

class TransientFaultTest : public ::testing::TestWithParam<TransientCase> {};

// One late or broken answer leaves bytes on their way to the host, or a board
// still waiting for data; the retry must not start before the line is quiet,
// or every later attempt of the block reads the leftovers and fails.
TEST_P(TransientFaultTest, OneHiccupIsAbsorbedByTheRetries) {
    sim::ScriptedFaults faults;
    ASSERT_EQ(faults.Add(GetParam().fault), "");
    Rig rig({}, {}, &faults);
    rig.RunUpdate();
    EXPECT_EQ(rig.window.statusText, "Flash Complete!");
    EXPECT_TRUE(rig.window.boxes.empty());
    EXPECT_EQ(AttemptsAt(rig.board, GetParam().address).writes, GetParam().writes);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TransientFaultTest,
    ::testing::Values(TransientCase{"AcknowledgementTooLate", "slow@0x800#1=300", 0x800, 2},
                      TransientCase{"DriverErrorAfterTheWriteFrame", "driver-error@0x800#1", 0x800, 2},
                      TransientCase{"ReadBackTooLate", "slow@RF#1=400", 0x400, 1},
                      TransientCase{"FirstPageAcknowledgementTooLate", "slow@0#1=300", 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlashDevice, ReadBackFailuresNeverRewrite) {
    sim::ScriptedFaults faults;
    ASSERT_EQ(faults.Add("corrupt@0x1000#1-5"), "");
    Rig rig({}, {}, &faults);
    rig.RunUpdate();
    const auto at = AttemptsAt(rig.board, 0x1000);
    EXPECT_EQ(at.writes, 1);
    EXPECT_EQ(at.reads, 6);
    EXPECT_EQ(rig.window.statusText, "Flash Complete!");
}

struct AwakeCase {
    const char* name;
    const char* fault;  // for the board, "" for none
    // Done at the run's tenth yield, or nothing.
    std::function<void(Rig&)> atTenthYield;
    bool boxShown;
};

class KeepAwakeTest : public ::testing::TestWithParam<AwakeCase> {};

// From "Flash Device" to the end of the run the machine is kept awake, and
// it may sleep again however the run ends; never while a box waits for a
// person, and never for the device check.
TEST_P(KeepAwakeTest, HeldWhileTheBoardIsWritten) {
    const auto& c = GetParam();
    sim::ScriptedFaults faults;
    const bool faulted = *c.fault != '\0';
    if (faulted) {
        ASSERT_EQ(faults.Add(c.fault), "");
    }
    Rig rig({}, {}, faulted ? &faults : nullptr);
    rig.StartAndFind();
    EXPECT_FALSE(rig.window.awake) << "kept awake by the device check";

    int yields = 0;
    int awakeYields = 0;
    bool running = true;
    std::function<void()> watch = [&] {
        if (!running) return;
        ++yields;
        awakeYields += rig.window.awake;
        if (yields == 10 && c.atTenthYield) c.atTenthYield(rig);
        rig.window.OnYield(1, watch);
    };
    rig.window.OnYield(1, watch);
    try {
        rig.window.Click(1);
    } catch (const std::runtime_error&) {
    }
    running = false;

    EXPECT_GE(yields, 10);
    EXPECT_EQ(awakeYields, yields) << "the board was written while the machine could sleep";
    EXPECT_FALSE(rig.window.awake);
    EXPECT_EQ(rig.window.boxes.size(), c.boxShown ? 1u : 0u);
    for (const auto& box : rig.window.boxes) EXPECT_FALSE(box.awake) << box.text;
    EXPECT_EQ(rig.program.Form.BusyFlag, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, KeepAwakeTest,
    ::testing::Values(AwakeCase{"Complete", "", {}, false},
                      AwakeCase{"FailureBox", "ack-wrong@0x2000", {}, true},
                      AwakeCase{"SessionEnd", "", [](Rig& r) { r.window.EndSession(); }, false},
                      AwakeCase{"RunThrows", "",
                                [](Rig&) { throw std::runtime_error("out of memory in a window call"); },
                                false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlashDevice, CloseRequestDuringTheRunIsRefusedAndTheRunCompletes) {
    Rig rig;
    rig.StartAndFind();
    int refused = 0;
    for (int n : {3, 50, 200}) rig.window.OnYield(n, [&] { refused += !rig.window.RequestClose(); });
    rig.window.Click(1);
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(rig.window.statusText, "Flash Complete!");
    EXPECT_TRUE(rig.driver.IsOpen());
    EXPECT_EQ(rig.driver.ClosedHandleCalls(), 0);
}

TEST(FlashDevice, ClicksDuringTheRunAreIgnored) {
    Rig rig;
    rig.StartAndFind();
    for (int n : {2, 40})
        for (std::int16_t i : {0, 1, 2, 3})
            rig.window.OnYield(n, [&, i] { rig.program.Form.Button_Click(i); });
    rig.window.Click(1);
    EXPECT_EQ(rig.board.Commands().size(), 2u + 126u) << "two identifies and 63 blocks";
    EXPECT_EQ(rig.window.statusText, "Flash Complete!");
}

TEST(FlashDevice, NoButtonThatCouldActIsVisibleDuringTheRun) {
    Rig rig;
    rig.StartAndFind();
    std::vector<std::vector<int>> seen;
    for (int n = 1; n <= 300; n += 37) rig.window.OnYield(n, [&] { seen.push_back(rig.window.VisibleButtons()); });
    rig.window.Click(1);
    ASSERT_FALSE(seen.empty());
    for (const auto& visible : seen) EXPECT_TRUE(visible.empty());
}

TEST(FlashDevice, ARunAfterAFailureStartsAfresh) {
    sim::ScriptedFaults faults;
    ASSERT_EQ(faults.Add("ack-wrong@0x800#1-50"), "");
    Rig rig({}, {}, &faults);
    rig.RunUpdate();
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    rig.window.Click(0);
    rig.window.Click(1);
    EXPECT_EQ(rig.window.statusText, "Flash Complete!");
    EXPECT_EQ(AttemptsAt(rig.board, 0x400).writes, 2);
}

}  // namespace
