// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "AppFacts.h"
#include "Rig.h"

using testing_support::Rig;
using sim::Command;

namespace {

int Count(const sim::LoaderBoard& board, Command command) {
    const auto& commands = board.Commands();
    return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                          [&](const auto& c) { return c.command == command; }));
}

struct EndCase {
    const char* name;
    const char* fault;  // for the board, "" for none
    int clicks;         // 0: during start-up, 1: after "Find Device", 2: after "Flash Device" too
    // The session ends at the first yield where this holds.
    std::function<bool(const Rig&)> when;
};

class SessionEndTest : public ::testing::TestWithParam<EndCase> {};

// The session ends at a yield of each stage. The link closes there and the
// running operation stops at its next link call: nothing more reaches the
// driver or the board, no box is shown, the window draws nothing more, and
// the machine may sleep again.
TEST_P(SessionEndTest, EverythingStopsAtTheEnd) {
    const auto& c = GetParam();
    sim::ScriptedFaults faults;
    const bool faulted = *c.fault != '\0';
    if (faulted) {
        ASSERT_EQ(faults.Add(c.fault), "");
    }
    Rig rig({}, {}, faulted ? &faults : nullptr);
    rig.window.recordYields = false;

    std::size_t commandsAtEnd = 0;
    std::size_t logAtEnd = 0;
    std::vector<std::uint8_t> bootPageAtEnd;
    bool ended = false;
    std::function<void()> watch = [&] {
        if (!c.when(rig)) {
            rig.window.OnYield(1, watch);
            return;
        }
        ended = true;
        commandsAtEnd = rig.board.Commands().size();
        bootPageAtEnd.assign(rig.board.Flash().begin(), rig.board.Flash().begin() + 2048);
        logAtEnd = rig.window.log.size();
        rig.window.EndSession();
    };
    rig.window.OnYield(1, watch);
    rig.window.Start();
    if (c.clicks >= 1) rig.window.Click(app::FindDevice);
    if (c.clicks >= 2) rig.window.Click(app::FlashDeviceButton);

    ASSERT_TRUE(ended) << "the stage never yielded";
    EXPECT_TRUE(rig.window.boxes.empty()) << rig.window.boxes[0].text;
    EXPECT_EQ(rig.driver.ClosedHandleCalls(), 0);
    EXPECT_FALSE(rig.driver.IsOpen());
    ASSERT_FALSE(rig.driver.Calls().empty());
    EXPECT_EQ(rig.driver.Calls().back(), "FT_Close()") << "a driver call after the link closed";
    EXPECT_EQ(rig.board.Commands().size(), commandsAtEnd) << "a command reached the board after the end";
    EXPECT_EQ(std::vector<std::uint8_t>(rig.board.Flash().begin(), rig.board.Flash().begin() + 2048),
              bootPageAtEnd)
        << "the boot page changed after the end";
    EXPECT_NE(rig.window.statusText, "Flash Complete!");
    EXPECT_TRUE(rig.window.closed);
    EXPECT_TRUE(rig.window.ended);
    EXPECT_FALSE(rig.window.awake);
    // After the end the window is only closed and the program ended: no
    // display, no keyboard focus on a window nobody sees.
    const std::vector<std::string> after(rig.window.log.begin() + static_cast<long>(logAtEnd),
                                         rig.window.log.end());
    for (const auto& entry : after)
        EXPECT_TRUE(entry == "session end" || entry == "CloseWindow" || entry == "EndProgram" ||
                    entry == "KeepAwake off")
            << entry << " after the end";
}

INSTANTIATE_TEST_SUITE_P(
    Stages, SessionEndTest,
    ::testing::Values(
        // Start-up: draining the line after opening it, then the identify.
        EndCase{"StartUpOpeningTheLink", "", 0, [](const Rig&) { return true; }},
        EndCase{"StartUpIdentifying", "", 0,
                [](const Rig& r) { return Count(r.board, Command::Identify) == 1; }},
        EndCase{"DeviceCheck", "", 1,
                [](const Rig& r) { return Count(r.board, Command::Identify) == 2; }},
        // The main stage, at a block's own yield and inside a reply.
        EndCase{"MainStageBetweenBlocks", "", 2, [](const Rig& r) { return r.window.progressValue == 10; }},
        EndCase{"MainStageDuringAWrite", "", 2,
                [](const Rig& r) { return Count(r.board, Command::WriteBlock) == 21; }},
        EndCase{"MainStageDuringARetry", "ack-wrong@0x2000#1-3", 2,
                [](const Rig& r) { return Count(r.board, Command::WriteBlock) == 10; }},
        // The first page: its yield, and its write frame sent, its data not yet.
        EndCase{"FirstPage", "", 2, [](const Rig& r) { return r.window.progressValue == 62; }},
        EndCase{"FirstPageWriteFrameSent", "", 2,
                [](const Rig& r) {
                    const auto& commands = r.board.Commands();
                    return !commands.empty() && commands.back().command == Command::WriteBlock &&
                           commands.back().address == 0;
                }},
        // The check of every block that follows a write frame echoed otherwise.
        EndCase{"FinalCheckPass", "garble@0x2000#1", 2,
                [](const Rig& r) { return Count(r.board, Command::ReadBlock) == 63 + 10; }}),
    [](const auto& info) { return std::string(info.param.name); });

// Ended while idle, the program closes the link and goes.
TEST(SessionEnd, WhileIdleClosesTheLinkAndEnds) {
    Rig rig;
    rig.StartAndFind();
    rig.window.EndSession();
    EXPECT_FALSE(rig.driver.IsOpen());
    EXPECT_TRUE(rig.window.ended);
    EXPECT_TRUE(rig.window.boxes.empty());
    EXPECT_EQ(rig.driver.ClosedHandleCalls(), 0);
}

}  // namespace
