// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>

#include "AppFacts.h"
#include "Rig.h"

using testing_support::Rig;

namespace {

std::ptrdiff_t IndexOf(const std::vector<std::string>& log, const std::string& prefix) {
    auto it = std::find_if(log.begin(), log.end(),
                           [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    return it == log.end() ? -1 : it - log.begin();
}

bool Opened(const Rig& rig) {
    const auto& calls = rig.driver.Calls();
    return std::any_of(calls.begin(), calls.end(),
                       [](const std::string& c) { return c.rfind("FT_OpenEx", 0) == 0; });
}

struct ExitCase {
    const char* name;
    std::function<void(sim::BoardSetup&, sim::LinkSetup&, sim::RecordingWindow&)> setup;
    std::string text;
    int style;
    std::optional<std::string> title;
    bool closeBeforeBox;
    bool ended;
};

class StartupExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(StartupExitTest, EndsWithItsMessageAndNeverShowsTheWindow) {
    const auto& c = GetParam();
    sim::BoardSetup board;
    sim::LinkSetup link;
    sim::RecordingWindow probe;
    c.setup(board, link, probe);
    Rig rig(board, link);
    rig.window.previousInstance = probe.previousInstance;
    rig.window.Start();

    ASSERT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_EQ(rig.window.boxes[0].text, c.text);
    EXPECT_EQ(rig.window.boxes[0].style, c.style);
    EXPECT_EQ(rig.window.boxes[0].title, c.title);
    EXPECT_EQ(IndexOf(rig.window.log, "ShowWindow"), -1);
    EXPECT_TRUE(rig.window.closed);
    EXPECT_EQ(rig.window.ended, c.ended);
    const auto close = IndexOf(rig.window.log, "CloseWindow");
    const auto box = IndexOf(rig.window.log, "MessageBox");
    EXPECT_EQ(close < box, c.closeBeforeBox);
    EXPECT_FALSE(rig.driver.IsOpen()) << "the link is closed when the program ends";
    EXPECT_EQ(rig.driver.ClosedHandleCalls(), 0);
}

const auto NotInUpdateMode = "Zandor not in update mode! ";
const auto NotFound = "Serial Link interface not found!";

INSTANTIATE_TEST_SUITE_P(
    Exits, StartupExitTest,
    ::testing::Values(
        ExitCase{"SecondCopy",
                 [](auto&, auto&, auto& w) { w.previousInstance = true; },
                 "Updater already running! ", 0x1010, std::nullopt, false, true},
        ExitCase{"NoInterface", [](auto&, auto& l, auto&) { l.descriptions.clear(); }, NotFound, 0,
                 "USB Error!", true, false},
        ExitCase{"ConfigurationFails",
                 [](auto&, auto& l, auto&) { l.failingStep = "FT_SetTimeouts"; }, NotFound, 0,
                 "USB Error!", true, false},
        ExitCase{"SilentBoard", [](auto& b, auto&, auto&) { b.silent = true; }, NotInUpdateMode,
                 0x1010, std::nullopt, false, true},
        ExitCase{"EchoButNoReply", [](auto& b, auto&, auto&) { b.identifyUnanswered = true; },
                 NotInUpdateMode, 0x1010, std::nullopt, false, true},
        ExitCase{"WrongSignature",
                 [](auto& b, auto&, auto&) { b.identifyReply = {'A', 'P', 1, 0x16}; },
                 NotInUpdateMode, 0x1010, std::nullopt, false, true},
        ExitCase{"FirmwareZero",
                 [](auto& b, auto&, auto&) { b.identifyReply = {'K', 'V', 1, 0x00}; },
                 NotInUpdateMode, 0x1010, std::nullopt, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, SecondCopyNeverOpensTheLink) {
    Rig rig;
    rig.window.previousInstance = true;
    rig.window.executableName = "UpdaterX";
    rig.window.Start();
    EXPECT_FALSE(Opened(rig));
    EXPECT_EQ(rig.window.boxes.at(0).text, "UpdaterX already running! ");
    EXPECT_EQ(rig.window.log.front(), "PreviousInstance") << "the check comes before anything else";
}

struct PassCase {
    const char* name;
    std::array<std::uint8_t, 4> reply;
    std::uint8_t major, minor;
};

class StartupPassTest : public ::testing::TestWithParam<PassCase> {};

TEST_P(StartupPassTest, ShowsTheIdleWindow) {
    sim::BoardSetup board;
    board.identifyReply = GetParam().reply;
    Rig rig(board);
    rig.window.Start();
    EXPECT_TRUE(rig.window.boxes.empty());
    EXPECT_TRUE(rig.window.shown);
    EXPECT_EQ(rig.window.VisibleButtons(), std::vector<int>{0});
    EXPECT_FALSE(rig.window.progressVisible);
    EXPECT_EQ(rig.window.statusText, "");
    EXPECT_EQ(rig.window.deviceName, "");
    EXPECT_EQ(rig.Link().LoaderInfo.FirmwareMajor, GetParam().major);
    EXPECT_EQ(rig.Link().LoaderInfo.FirmwareMinor, GetParam().minor);
    EXPECT_TRUE(rig.driver.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Boards, StartupPassTest,
    ::testing::Values(PassCase{"Firmware01", {'K', 'V', 1, 0x01}, 0, 1},
                      PassCase{"Firmware10", {'K', 'V', 1, 0x10}, 1, 0},
                      PassCase{"BlankWithoutSignature", {0xFF, 0xFF, 3, 0xFF}, 1, 2},
                      PassCase{"BlankWithSignature", {'K', 'V', 3, 0xFF}, 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, CaptionCarriesTheVersionInDecimal) {
    for (auto [minor, caption] : {std::pair{6, "Zandor Firmware Updater v1.6"},
                                  std::pair{12, "Zandor Firmware Updater v1.12"}}) {
        Rig rig;
        rig.window.versionMinor = minor;
        rig.window.Start();
        EXPECT_EQ(rig.window.caption, caption);
        EXPECT_LT(IndexOf(rig.window.log, "SetCaption"), IndexOf(rig.window.log, "ShowWindow"));
    }
}

TEST(Startup, CreatesTheBuffersAfterShowingTheWindow) {
    Rig rig;
    rig.window.Start();
    EXPECT_EQ(rig.program.Image.FirmwareResourceId, 100);
    EXPECT_EQ(rig.program.Image.FirmwareImage.size(), 131080u);
    EXPECT_EQ(rig.program.Image.ImageContainer.size(), 524320u);
    EXPECT_EQ(rig.Link().BlockRxBuffer.size(), 2049u);
    EXPECT_EQ(rig.Link().BlockTxBuffer.size(), 2049u);
}

TEST(ButtonClick, ReadFlashAndUnknownIndicesOnlyClearTheFlag) {
    Rig rig;
    rig.window.Start();
    for (std::int16_t index : {4, 5, -1, 99}) {
        rig.program.UnsupportedFlag = -1;
        const auto logSize = rig.window.log.size();
        rig.program.Form.Button_Click(index);
        EXPECT_EQ(rig.program.UnsupportedFlag, 0) << index;
        EXPECT_EQ(rig.window.log.size(), logSize) << "nothing changed in the window for " << index;
    }
}

struct DeclineCase {
    const char* name;
    int button;
};

class BackToIdleTest : public ::testing::TestWithParam<DeclineCase> {};

TEST_P(BackToIdleTest, EmptiesBothLinesAndOffersFindDevice) {
    Rig rig;
    rig.RunUpdate();  // ends with "Ok!" offered
    if (GetParam().button == 2) {
        rig.window.Click(3);
        rig.window.Click(0);  // offer again: "Abort Flash" visible
    }
    ASSERT_TRUE(rig.window.buttonVisible[static_cast<std::size_t>(GetParam().button)]);
    rig.window.Click(GetParam().button);
    // What the user sees: only "Find Device", with the keyboard on it.
    EXPECT_EQ(rig.window.VisibleButtons(), std::vector<int>{0});
    EXPECT_FALSE(rig.window.progressVisible);
    EXPECT_EQ(rig.window.statusText, "");
    EXPECT_EQ(rig.window.deviceName, "");
    EXPECT_EQ(rig.window.keyboardFocus, app::FindDevice);
    EXPECT_EQ(rig.window.focusOnHiddenButton, 0);
}

TEST(ButtonClick, CompletionDisplayInItsOrder) {
    Rig rig;
    rig.StartAndFind();
    rig.window.recordYields = false;
    rig.window.Click(1);
    // The display's own calls in their order; where the keyboard goes is
    // the window's state, checked below.
    std::vector<std::string> log;
    for (const auto& entry : rig.window.log)
        if (entry.rfind("Focus ", 0) != 0) log.push_back(entry);
    const std::vector<std::string> complete{"Button 3 visible", "Button 1 hidden", "Button 2 hidden",
                                            "Button 4 hidden",  "Progress hidden",
                                            "StatusText \"Flash Complete!\""};
    ASSERT_GE(log.size(), complete.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<long>(complete.size()), log.end()),
              complete)
        << "the device line and Find Device are left alone";
    EXPECT_EQ(rig.window.deviceName, "Zandor - Hardware v2.3");
    EXPECT_EQ(rig.window.keyboardFocus, app::OkButton);
}

INSTANTIATE_TEST_SUITE_P(Buttons, BackToIdleTest,
                         ::testing::Values(DeclineCase{"Ok", 3}, DeclineCase{"AbortFlash", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FocusCase {
    const char* name;
    const char* fault;  // for the board, "" for none
    bool release;       // the program carries a usable release
    std::vector<int> clicks;
    int focus;          // where the keyboard ends up
};

class KeyboardFocusTest : public ::testing::TestWithParam<FocusCase> {};

// Every display gives the keyboard to a shown button, the window itself
// while the board is programmed, and never to a hidden button.
TEST_P(KeyboardFocusTest, FollowsTheDisplay) {
    sim::ScriptedFaults faults;
    const bool faulted = *GetParam().fault != '\0';
    if (faulted) {
        ASSERT_EQ(faults.Add(GetParam().fault), "");
    }
    Rig rig({}, {}, faulted ? &faults : nullptr);
    if (!GetParam().release) rig.resources = image::MemoryResources{};
    int duringRun = -2;
    rig.window.Start();
    for (int button : GetParam().clicks) {
        if (button == app::FlashDeviceButton)
            rig.window.OnYield(1, [&] { duringRun = rig.window.keyboardFocus; });
        rig.window.Click(button);
    }
    EXPECT_EQ(rig.window.keyboardFocus, GetParam().focus);
    EXPECT_EQ(rig.window.focusOnHiddenButton, 0);
    const auto& clicks = GetParam().clicks;
    if (std::find(clicks.begin(), clicks.end(), app::FlashDeviceButton) != clicks.end()) {
        EXPECT_EQ(duringRun, app::NoButton) << "a key could reach a button during the run";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Displays, KeyboardFocusTest,
    ::testing::Values(FocusCase{"Idle", "", true, {}, app::FindDevice},
                      FocusCase{"Offer", "", true, {0}, app::AbortFlash},
                      FocusCase{"Complete", "", true, {0, 1}, app::OkButton},
                      FocusCase{"IdleAfterOk", "", true, {0, 1, 3}, app::FindDevice},
                      FocusCase{"IdleAfterAbort", "", true, {0, 2}, app::FindDevice},
                      FocusCase{"IdleAfterAWriteFailure", "ack-wrong@0x800", true, {0, 1}, app::FindDevice},
                      FocusCase{"IdleAfterARefusedRelease", "", false, {0}, app::FindDevice}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormUnload, ClosingTheWindowClosesTheLink) {
    Rig rig;
    rig.window.Start();
    ASSERT_TRUE(rig.driver.IsOpen());
    EXPECT_TRUE(rig.window.RequestClose());
    EXPECT_FALSE(rig.driver.IsOpen());
    EXPECT_EQ(rig.Link().LinkHandle, nullptr);
}

TEST(Busy, CloseRequestDuringTheCheckIsRefusedAndTheCheckCompletes) {
    Rig rig;
    rig.window.Start();
    bool closed = true;
    rig.window.OnYield(1, [&] { closed = rig.window.RequestClose(); });
    rig.window.Click(0);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(rig.driver.IsOpen());
    EXPECT_EQ(rig.window.VisibleButtons(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(rig.window.RequestClose()) << "once the check is over, closing works";
}

TEST(Busy, ClickDuringTheCheckStartsNoNestedCheck) {
    Rig rig;
    rig.window.Start();
    rig.window.OnYield(1, [&] { rig.program.Form.Button_Click(0); });
    rig.window.OnYield(2, [&] { rig.program.Form.Button_Click(2); });
    rig.window.Click(0);
    const auto& commands = rig.board.Commands();
    EXPECT_EQ(commands.size(), 2u) << "start-up's identify and the check's, nothing nested";
    EXPECT_EQ(rig.window.VisibleButtons(), (std::vector<int>{1, 2})) << "the offer stands";
}

}  // namespace
