// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>

#include "Rig.h"
#include "VersionText.h"

using testing_support::Rig;

namespace {

std::vector<std::uint8_t> PackedImage(std::vector<std::uint8_t> img) {
    std::int16_t flag = 0;
    image::MemoryResources none;
    image::FirmwareStore store(none, flag);
    store.FirmwareImage = std::move(img);
    store.NextUniform = image::SeededUniform(3);
    store.ScrambleImage();
    return store.ImageContainer;
}

int Count(const sim::LoaderBoard& board, sim::Command command) {
    const auto& c = board.Commands();
    return static_cast<int>(std::count_if(c.begin(), c.end(), [&](const auto& r) { return r.command == command; }));
}

struct TextCase {
    const char* name;
    std::uint8_t major, minor;
    const char* digit;
    const char* firmware;
};

class VersionTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(VersionTextTest, BothForms) {
    EXPECT_EQ(app::DigitVersionText(GetParam().major, GetParam().minor), GetParam().digit);
    EXPECT_EQ(app::FirmwareVersionText(GetParam().major, GetParam().minor), GetParam().firmware);
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionTextTest,
                         ::testing::Values(TextCase{"TwoThree", 2, 3, "2.3", "2. 3"},
                                           TextCase{"MinorZero", 1, 0, "1.0", "1. 0"},
                                           TextCase{"MinorTwelve", 1, 12, "1.<", "1. 12"},
                                           TextCase{"MajorTen", 10, 5, ":.5", ":. 5"},
                                           TextCase{"Fifteens", 15, 15, "?.?", "?. 15"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct OfferCase {
    const char* name;
    std::array<std::uint8_t, 4> identifyReply;
    std::uint8_t imageVersion;
    const char* status;
};

class OfferTest : public ::testing::TestWithParam<OfferCase> {};

TEST_P(OfferTest, ShowsBothVersionsAndOffersTheUpdate) {
    sim::BoardSetup board;
    board.identifyReply = GetParam().identifyReply;
    Rig rig(board);
    rig.resources.Put(image::ResourceType, 100, PackedImage(image::DemoImage(GetParam().imageVersion)));
    rig.StartAndFind();
    EXPECT_EQ(rig.window.deviceName, "Zandor - Hardware v2.3");
    EXPECT_EQ(rig.window.statusText, GetParam().status);
    EXPECT_EQ(rig.window.VisibleButtons(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(rig.window.boxes.empty());
    EXPECT_EQ(rig.program.UnsupportedFlag, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, OfferTest,
    ::testing::Values(
        OfferCase{"Typical", {'K', 'V', 1, 0x12}, 0x16, "Firmware: v1. 2  -  Upgrading to: v1. 6"},
        OfferCase{"MinorZero", {'K', 'V', 1, 0x10}, 0x16, "Firmware: v1. 0  -  Upgrading to: v1. 6"},
        OfferCase{"MinorTwelve", {'K', 'V', 1, 0x1C}, 0x1C, "Firmware: v1. 12  -  Upgrading to: v1. 12"},
        OfferCase{"MajorTen", {'K', 'V', 1, 0xA3}, 0x00, "Firmware: v:. 3  -  Upgrading to: v0. 0"},
        // A blank board: start-up takes it for 1.2; the check's identify
        // leaves that alone when the reply has no signature...
        OfferCase{"BlankWithoutSignature", {0xFF, 0xFF, 3, 0xFF}, 0x16,
                  "Firmware: v1. 2  -  Upgrading to: v1. 6"},
        // ...and overwrites it with 15.15 when it has one.
        OfferCase{"BlankWithSignature", {'K', 'V', 3, 0xFF}, 0x16,
                  "Firmware: v?. 15  -  Upgrading to: v1. 6"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckDevice, RunsPurgeIdentifyPurgeInOrder) {
    Rig rig;
    rig.window.Start();
    rig.driver.ClearCalls();
    rig.window.Click(0);
    EXPECT_EQ(rig.driver.Calls(), (std::vector<std::string>{"FT_Purge(3)", "FT_Write(2)",
                                                             "FT_Read(2)", "FT_Read(4)",
                                                             "FT_Purge(3)"}));
}

TEST(CheckDevice, SilentLoaderShowsWhatTheEarlierIdentifyLeft) {
    sim::ScriptedFaults faults;
    ASSERT_EQ(faults.Add("drop@GI#2"), "");
    sim::BoardSetup board;
    board.identifyReply = {'K', 'V', 1, 0x13};
    Rig rig(board, {}, &faults);
    rig.StartAndFind();
    EXPECT_EQ(rig.window.statusText, "Firmware: v1. 3  -  Upgrading to: v1. 6");
    EXPECT_EQ(rig.window.VisibleButtons(), (std::vector<int>{1, 2}));
    EXPECT_EQ(Count(rig.board, sim::Command::Identify), 2);
}

struct PurgeCase {
    const char* name;
    const char* fault;
    int identifies;
};

class ConnectionFailureTest : public ::testing::TestWithParam<PurgeCase> {};

TEST_P(ConnectionFailureTest, ClosesTheWindowThenReports) {
    sim::ScriptedFaults faults;
    ASSERT_EQ(faults.Add(GetParam().fault), "");
    Rig rig({}, {}, &faults);
    rig.StartAndFind();
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_EQ(rig.window.boxes[0].text, "USB Connection Failure!");
    EXPECT_EQ(rig.window.boxes[0].title, "USB Error");
    EXPECT_EQ(rig.window.boxes[0].style, 0);
    EXPECT_FALSE(rig.window.boxes[0].windowOpen) << "the window is gone before the message";
    EXPECT_EQ(rig.program.UnsupportedFlag, 0);
    EXPECT_FALSE(rig.driver.IsOpen());
    EXPECT_EQ(Count(rig.board, sim::Command::Identify), GetParam().identifies);
    EXPECT_EQ(rig.program.Image.FirmwareImage, std::vector<std::uint8_t>(131080, 0))
        << "no image load";
    EXPECT_EQ(rig.driver.ClosedHandleCalls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Purges, ConnectionFailureTest,
                         ::testing::Values(PurgeCase{"FirstPurge", "purge-fail#1", 1},
                                           PurgeCase{"SecondPurge", "purge-fail#2", 2},
                                           PurgeCase{"BoardUnplugged", "gone@GI#2", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::function<void(image::MemoryResources&)> damage;
};

class RefusedImageTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedImageTest, ReportsWithTheNewDeviceLineAndReturnsToIdle) {
    Rig rig;
    GetParam().damage(rig.resources);
    rig.window.Start();
    rig.window.statusText = "earlier text";  // what the status line showed before
    rig.window.Click(0);
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    const auto& box = rig.window.boxes[0];
    EXPECT_EQ(box.text, "Device not currently supported for upgrading!");
    EXPECT_EQ(box.title, "Device not supported!");
    EXPECT_EQ(box.deviceLine, "Zandor - Hardware v2.3");
    EXPECT_EQ(box.statusLine, "earlier text");
    EXPECT_EQ(rig.program.UnsupportedFlag, -1);
    EXPECT_EQ(rig.window.VisibleButtons(), std::vector<int>{0});
    EXPECT_EQ(rig.window.deviceName, "");
    EXPECT_EQ(rig.window.statusText, "");
}

INSTANTIATE_TEST_SUITE_P(
    Images, RefusedImageTest,
    ::testing::Values(
        RefusedCase{"Missing", [](auto& r) { r = image::MemoryResources{}; }},
        RefusedCase{"Short", [](auto& r) {
                        auto c = testing_support::DemoContainer();
                        c.pop_back();
                        r.Put(image::ResourceType, 100, c);
                    }},
        RefusedCase{"ByteFourSet", [](auto& r) {
                        auto img = image::DemoImage();
                        img[4] = 1;
                        r.Put(image::ResourceType, 100, PackedImage(img));
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckDevice, AfterAbortTheWholeCheckRunsAgain) {
    Rig rig;
    rig.StartAndFind();
    rig.window.Click(2);
    rig.resources.Put(image::ResourceType, 100, PackedImage(image::DemoImage(0x17)));
    rig.window.Click(0);
    EXPECT_EQ(Count(rig.board, sim::Command::Identify), 3);
    EXPECT_EQ(rig.window.statusText, "Firmware: v1. 2  -  Upgrading to: v1. 7");
}

}  // namespace
